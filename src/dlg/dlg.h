// dlg: the game's own mouse-driven buttons and the stack of live dialogs.
#pragma once

#include <cstdint>

// What a button's action returns when the screen that shows it stays open.
constexpr int8_t DLG_NADA = -1;

// A button's action: takes the button's number within its dialog.
using accion_boton = int8_t (*)(int8_t indice);
