// The 28 edge keys of the setup tool: their pictures and where the key window
// shows them.
#pragma once

#include "protocol/types.h"

constexpr int KEY_IMAGE_SIZE = 36;  // the key pictures are 36 by 36 pixels

// Picture states of a key: idle, the key to touch now, learnt.
enum KeyImageState { KEY_IDLE = 1, KEY_ACTIVE = 2, KEY_DONE = 3 };

// Top-left corners of the key pictures for a screen of width by height
// pixels: keys 0..13 in a column whose left edge is at 30 % of the width,
// keys 14..27 in one whose right edge is at 70 %, rows centred from 10 % to
// 90 % of the height. Coordinates truncate toward zero.
void layout_keys(double width, double height, Pos PosArray[EDGE_KEY_COUNT]);

// The picture file of key (0..27) in state, cut to size - 1 bytes. Key 0
// starts out with its active picture, since it is the first to touch.
void key_image_file(int key, int state, char* out, int size);
