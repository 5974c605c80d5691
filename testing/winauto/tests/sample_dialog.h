#pragma once
#define IDD_SAMPLE 100
#define IDC_SAMPLE_TEXT 1001
// The dialog paints its background in this colour, so that a capture has a pixel to check.
#define SAMPLE_BACKGROUND RGB(0x20, 0x60, 0xA0)
