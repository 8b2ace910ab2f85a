// The DIK_ key numbers that eng_key_down and eng_key_hit take.
#pragma once
#include "platform/input_keys.h"
