// The four-line box that opens every run.
#pragma once

void PrintBanner();
