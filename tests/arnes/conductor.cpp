#include "arnes/conductor.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "arnes/arnes.h"
#include "dlg/dlg.h"
#include "juego/juego.h"

namespace {

// Frames into a game at which the pause button is pressed, and how long the
// pause lasts.
constexpr int FOTOGRAMA_PAUSA = 200;
constexpr int DURACION_PAUSA = 60;

// Letters typed at name entry before "end".
constexpr int LETRAS_NOMBRE = 3;

// Volume and language buttons pressed on the options screen, in turn.
constexpr int8_t BOTONES_OPCIONES[] = {0, 3, 5, 6, 9, 9};

// The main menu's button for each choice.
constexpr int8_t BOTON_MENU[] = {1, 0, 3, 2, 4};

}  // namespace

bool conductor::clic(int8_t dialogo, int8_t indice)
{
  // Over the button with no button down, then pressed, then released.
  arnes_clic(dialogo, indice, paso_clic == 1 ? 0 : 1);
  if (++paso_clic < 3) {
    return false;
  }
  paso_clic = 0;
  return true;
}

void conductor::en_juego()
{
  ++fotogramas_en_juego;
  // A life lost, not one turned into points by the bonus count.
  if (nucleo.dt_partida.vidas < vidas && nucleo.dt_partida.puntos == puntos) {
    ++vidas_perdidas;
    nivel = -1;
  }
  vidas = nucleo.dt_partida.vidas;
  puntos = nucleo.dt_partida.puntos;
  if (nucleo.dt_partida.fases_superadas != fases) {
    niveles_completados += nucleo.dt_partida.fases_superadas - fases;
    fases = nucleo.dt_partida.fases_superadas;
    nivel = -1;
  }

  // One pause in each normal game, once play is under way (the energy has
  // begun to drain), and back; it counts if the energy stood still.
  if (eleccion == menu_partida && pausa_desde == -1 && fotogramas_en_juego >= FOTOGRAMA_PAUSA &&
      nucleo.dt_partida.energia < 64 && nucleo.dt_partida.energia > 8) {
    pausa_desde = fotogramas_en_juego;
    energia_en_pausa = nucleo.dt_partida.energia;
  }
  if (pausa_desde >= 0) {
    const int t = fotogramas_en_juego - pausa_desde;
    if (t < 3) {
      clic(DLG_JUEGO, 0);  // "Pause"
    } else if (t >= DURACION_PAUSA && t < DURACION_PAUSA + 3) {
      clic(DLG_JUEGO, 0);  // "Go on"
    } else {
      arnes_raton(512, 700, 0);
    }
    if (t == DURACION_PAUSA - 1 && nucleo.dt_partida.energia == energia_en_pausa) {
      ++pausas;
    }
    if (t >= DURACION_PAUSA + 3) {
      pausa_desde = -2;  // done for this game
    }
    return;
  }

  if (nucleo.dt_rayo.n_puntos == 0) {
    mouse_b = 0;  // the level is still starting: hands off
    return;
  }
  const int jugados = eleccion == menu_entrenamiento ? NUM_NIVELES - PRIMER_NIVEL_ENTRENAMIENTO : niveles_ganados;
  if (fases >= jugados) {
    arnes_raton(512, 300, 0);  // hands off: the energy runs out
    return;
  }
  if (nivel < 0) {
    nivel = primer_nivel + fases;
    plan_nivel plan;
    std::string error;
    if (!buscar_plan(&objeto[nivel * NUM_CELDAS], nivel, plan, error)) {
      ADD_FAILURE() << "no plan for level " << nivel << ": " << error;
    }
    jugador_empezar(jugador, std::move(plan));
    // The plans leave gremlins out, as the solver's proof does.
    for (datos_gremlin &g : nucleo.dt_gremlin) {
      g.espera = -1;
    }
  }
  jugador_fotograma(jugador);
}

void conductor::fotograma(int n)
{
  const int8_t d = arnes_dialogo_vivo();
  if (d != dialogo_anterior) {
    // The menu's click has opened its screen: the choice is taken.
    if (dialogo_anterior == DLG_MENU && d >= 0) {
      ++siguiente_menu;
      ++menus_vistos;
      if (eleccion == menu_partida || eleccion == menu_entrenamiento) {
        ++partidas;
        en_partida = true;
      }
    }
    paso_clic = 0;
    dialogo_anterior = d;
  }
  switch (d) {
  case DLG_SI_NO:
    if (!menu_visto) {
      // The first run's language question: English.
      if (clic(DLG_SI_NO, 1)) {
        idioma_elegido = 1;
      }
    } else {
      clic(DLG_SI_NO, saliendo ? 0 : 1);
    }
    return;
  case DLG_MENU:
    if (paso_clic == 0) {
      // A new choice. The last game's final level ended it: count it here.
      if (en_partida) {
        niveles_completados += nucleo.dt_partida.fases_superadas - fases;
        en_partida = false;
      }
      menu_visto = true;
      eleccion = siguiente_menu < menu.size() ? menu[siguiente_menu] : uint8_t{menu_salir};
      saliendo = eleccion == menu_salir;
      primer_nivel = eleccion == menu_entrenamiento ? PRIMER_NIVEL_ENTRENAMIENTO : 0;
      fases = 0;
      vidas = 3;
      puntos = 0;
      nivel = -1;
      fotogramas_en_juego = 0;
      pausa_desde = -1;
      opciones_pulsadas = 0;
      letras = 0;
    }
    clic(DLG_MENU, BOTON_MENU[eleccion]);
    return;
  case DLG_NIVELES:
    // The furthest level unlocked.
    if (clic(DLG_NIVELES, ult_fase_completada)) {
      primer_nivel = ult_fase_completada;
    }
    return;
  case DLG_JUEGO:
    en_juego();
    return;
  case DLG_FIN:
    clic(DLG_FIN, 0);
    return;
  case DLG_TECLADO:
    if (clic(DLG_TECLADO, letras < LETRAS_NOMBRE ? static_cast<int8_t>(3 + letras) : 1)) {
      if (++letras > LETRAS_NOMBRE) {
        ++nombres_escritos;
      }
    }
    return;
  case DLG_OPCIONES:
    if (opciones_pulsadas < static_cast<int>(sizeof BOTONES_OPCIONES)) {
      if (clic(DLG_OPCIONES, BOTONES_OPCIONES[opciones_pulsadas])) {
        ++opciones_pulsadas;
      }
    } else {
      clic(DLG_OPCIONES, 8);
    }
    return;
  case DLG_RECORDS:
    clic(DLG_RECORDS, 1);
    return;
  default:
    // Black frames, the intro, the sequences between levels: a press skips
    // the intro, and nothing else before the menu reads the mouse.
    arnes_raton(512, 700, !menu_visto && n % 2 == 1 ? 1 : 0);
    return;
  }
}
