// A game started from the main menu, and what follows it: the progress
// recorded, the score's name entry and the high-score table, and the
// game's recording kept.
#include "audio/audio.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

int8_t juego(int8_t entrenamiento)
{
  // A normal game asks where to start once more than the first level is
  // open; the trainer has its own levels.
  int8_t nivel = static_cast<int8_t>(entrenamiento != 0 ? PRIMER_NIVEL_ENTRENAMIENTO : 0);
  if (entrenamiento == 0 && ult_fase_completada != 0) {
    nivel = preguntar_nivel();
  }
  // A player's first normal game points them to the Trainer, once; one who
  // has got past the first level (settings from before the tip) needs it no
  // more.
  if (entrenamiento == 0 && !entrenador_sugerido) {
    entrenador_sugerido = true;
    escribir_ajustes();
    if (ult_fase_completada == 0) {
      rotular_partida({}, idioma == IDIOMA_ESPANOL ? "consejo: el Trainer del men\xFA ense\xF1" "a el juego en tres niveles"
                                                   : "tip: the menu's Trainer teaches the game in three levels");
    }
  }
  const final_partida f = jugar_partida(entrenamiento != 0, nivel);

  if ((f.motivo == fin_sin_vidas || f.motivo == fin_completado) && f.clasificable) {
    if (f.nivel > ult_fase_completada + 1) {
      ult_fase_completada = static_cast<int8_t>(f.nivel - 1);
      escribir_cfg();
    }
    if (f.puntos != 0) {
      introducir_puntuacion(f.puntos, f.fases);
    }
  }
  guardar_repeticion_partida();
  if (f.motivo == fin_abandono) {
    parar_musica();
  }
  return 0;
}
