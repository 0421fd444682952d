// A scripted player for whole runs of the program in-process: it answers
// every screen the way a person would with the mouse, wins levels with the
// solver's plans, and lets the rest of a game run out. The menu choices
// come from a list, taken in turn, so a run can mix games, options, the
// score table and the exit.
#pragma once

#include <cstdint>
#include <vector>

#include "jugador_plan.h"
#include "resolver/resolver.h"

// What to choose each time the main menu shows.
enum : uint8_t {
  menu_entrenamiento,  // the trainer, won with the solver's plans
  menu_partida,        // a normal game: `niveles_ganados` levels won with
                       // plans, a pause on the way, then hands off until
                       // the lives run out
  menu_opciones,       // a few volume changes, the language twice, Exit
  menu_records,        // the score table, and out
  menu_salir,          // Exit, confirmed
};

struct conductor {
  std::vector<uint8_t> menu;  // choices in turn; after the last, Exit
  int niveles_ganados = 2;

  // What happened, for the test to check.
  int menus_vistos = 0;
  int partidas = 0;
  int niveles_completados = 0;
  int vidas_perdidas = 0;
  int pausas = 0;
  int nombres_escritos = 0;
  int idioma_elegido = -1;

  // Sets the mouse and keyboard for the next frame; `n` counts frames.
  void fotograma(int n);

  // Internal state.
  size_t siguiente_menu = 0;
  int8_t dialogo_anterior = -1;
  int paso_clic = 0;  // frames spent on the current click
  bool menu_visto = false;
  bool saliendo = false;
  bool en_partida = false;
  int8_t primer_nivel = 0;
  int nivel = -1;  // level being played with a plan, -1 none
  int fases = 0;
  int vidas = 0;
  int32_t puntos = 0;
  int fotogramas_en_juego = 0;
  int pausa_desde = -1;  // -1 not yet, -2 done
  int8_t energia_en_pausa = 0;
  int opciones_pulsadas = 0;
  int letras = 0;
  uint8_t eleccion = menu_salir;
  jugador_plan jugador;

  bool clic(int8_t dialogo, int8_t indice);
  void en_juego();
};
