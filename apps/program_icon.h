// The program's icon, built into both programs from the committed picture
// assets/icons/window-icon.rgba; every window the programs open shows it.
#pragma once

struct PlatIcon;

// Null when the build had no picture.
const PlatIcon* app_program_icon();
