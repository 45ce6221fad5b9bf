// "1 block", "2 blocks": the tools count things in their messages.
#pragma once

inline const char* Plural(unsigned long long count) {
    return count == 1 ? "" : "s";
}
