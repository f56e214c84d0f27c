#include "trackerui/Theme.h"

const Theme DarkTheme {
    0xff202020, // background
    0xff343434, // titleBar
    0xff2072b0, // headingText
    0xff64acec, // titleText
    0xffdcdcdc, // statusText
    0xffffffff, // controlText
    0x50ffffff, // controlDim
    0x34ffffff, // highlight
    0xa88ca4ff, // bootloader
    0xff920030, // lineBack
    0xfff488ac, // lineFront
    0.065f,     // lineWidthFront
    0.033f,     // lineWidthBack
    true        // darkImages
};
