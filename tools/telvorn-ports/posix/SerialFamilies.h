// Which names in the device folder are serial ports. telvorn's table covers four families (ttyS,
// ttyUSB, ttyACM, ttyAMA, 32 each); these and the other families below are looked for so that a
// user whose adapter has a name outside the table learns why telvorn cannot reach it.
#pragma once

// A family name followed by a number ("ttyXRUSB0", "rfcomm1", "ttyUSB40").
bool IsSerialDeviceName(const char* fileName);
