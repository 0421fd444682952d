// The screen's hooks on the rules, for the game in the window and for a
// game drawn anywhere else (the web build): each frame of play drawn and
// heard, the status strip, the colours, the drawing's own random draws and
// what else the drawing carries from frame to frame.
#include <allegro.h>

#include <cstdio>
#include <string>

#include "audio/audio.h"
#include "pantalla/pantalla.h"
#include "juego/juego.h"
#include "tiempo/tiempo.h"

// Colours of the status strip and the sequences, made once the display's
// pixel format is known.
int rojo, amarillo, verde;

// Voices of the two looping alarms, -1 while silent.
int8_t sonido_sobrecarga = -1;
int8_t sonido_mina = -1;

estado_dibujo dibujo;

void crear_colores_juego()
{
  rojo = makecol(255, 0, 0);
  verde = makecol(0, 255, 0);
  amarillo = makecol(255, 255, 0);
}

void empezar_dibujo(uint64_t semilla)
{
  dibujo = {};
  // Its own stream, apart from the rules' though seeded alike.
  sembrar_azar(dibujo.azar, ~semilla);
}

uint32_t azar_dibujo(uint32_t n)
{
  return sacar_azar(dibujo.azar, n);
}

void detener_efectos()
{
  detener_sonidos(1);
  sonido_sobrecarga = -1;
  sonido_mina = -1;
}

namespace {

int color_sobrecarga(int s)
{
  return s <= 31 ? verde : s <= 48 ? amarillo : rojo;
}

int color_energia(int e)
{
  return e <= 9 ? rojo : e <= 25 ? amarillo : verde;
}

// What the frame's rules did, heard.
void sonar_sucesos()
{
  const uint16_t s = nucleo.dt_sucesos.bits;
  if (s & suceso_explosion) {
    reproducir_sonido(SND_EXPLOSION, SONIDO_UNA_VEZ);
  }
  if (s & suceso_explosion_larga) {
    reproducir_sonido(SND_EXPLOSION + 1, SONIDO_UNA_VEZ);
  }
  if (s & suceso_puerta) {
    reproducir_sonido(SND_PUERTA, SONIDO_UNA_VEZ);
  }
  if (s & suceso_gremlin_entra) {
    reproducir_sonido(SND_GREMLIN, SONIDO_UNA_VEZ);
  }
  if (s & suceso_gremlin_cazado) {
    reproducir_sonido(SND_GREMLIN_CAZADO, SONIDO_UNA_VEZ);
  }
}

// Each looping alarm sounds exactly while its state lasts.
void alarmas()
{
  if (sonido_sobrecarga >= 0 && nucleo.dt_rayo.estado != rayo_sobrecarga) {
    detener_sonido(sonido_sobrecarga);
    sonido_sobrecarga = -1;
  }
  if (sonido_mina >= 0 && nucleo.dt_rayo.estado != rayo_mina) {
    detener_sonido(sonido_mina);
    sonido_mina = -1;
  }
  if (sonido_sobrecarga == -1 && nucleo.dt_rayo.estado == rayo_sobrecarga) {
    sonido_sobrecarga = reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE);
  }
  if (sonido_mina == -1 && nucleo.dt_rayo.estado == rayo_mina) {
    sonido_mina = reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE);
  }
}

}  // namespace

void dibujar_estado()
{
  copiar_marcador(0, ANCHO_PANTALLA);
  dibujar_puntos_marcador(nucleo.dt_partida.puntos + nucleo.dt_partida.puntos_nivel);
  if (nucleo.dt_partida.sobrecarga != 0) {
    dibujar_barra_sobrecarga(3 * nucleo.dt_partida.sobrecarga, color_sobrecarga(nucleo.dt_partida.sobrecarga));
  }
  if (nucleo.dt_partida.energia > 1 || nucleo.dt_partida.cuenta_energia != 0) {
    dibujar_barra_energia(3 * nucleo.dt_partida.energia, color_energia(nucleo.dt_partida.energia));
  }
  dibujar_nivel_marcador(nucleo.dt_bucle.nivel);
  dibujar_vidas_marcador(nucleo.dt_partida.vidas);
}

namespace {

void dibujar_tablero_juego(uint8_t)
{
  pintar_tablero(buffer);
}

// The rest of a frame of play on screen.
uint8_t mostrar_fotograma(uint8_t logico)
{
  // The frame on which the last unit of energy is about to go shows no beam.
  if (!(logico && nucleo.dt_partida.energia <= 1 && nucleo.dt_partida.cuenta_energia <= 0)) {
    dibujar_rayo();
  }
  const uint8_t c = nucleo.dt_bucle.celda_pinchada;
  if (c != CELDA_NINGUNA) {
    draw_sprite(buffer, loseta[LOSETA_MARCA], ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS),
                ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS));
  }
  if ((nucleo.dt_sucesos.bits & suceso_puerta_recompuesta) != 0) {
    recomponer_loseta_puerta(nucleo.dt_sucesos.grf_puerta_antes);
  }
  sonar_sucesos();
  alarmas();
  if (nucleo.trampas) {
    textout_ex(buffer, fuente_texto(), "*", 0, 0, -1, -1);
  }
  return 0;
}

}  // namespace

const ganchos_partida ganchos_pantalla = {dibujar_tablero_juego, mostrar_fotograma, mostrar_secuencia};

std::string linea_bono()
{
  char texto[160];
  snprintf(texto, sizeof texto,
           idioma == IDIOMA_ESPANOL ? "\xA1nivel superado!  energ\xED" "a %d x %d  \xB7  vidas %d x %d%s"
                                    : "level complete!  energy %d x %d  \xB7  lives %d x %d%s",
           static_cast<int>(nucleo.dt_partida.energia), static_cast<int>(PUNTOS_POR_ENERGIA),
           static_cast<int>(nucleo.dt_partida.vidas), static_cast<int>(PUNTOS_POR_VIDA),
           nucleo.dt_bucle.suelto ? en_idioma("  \xB7  clic: seguir", "  \xB7  click: go on") : "");
  return texto;
}

namespace {

// The line over the top strip of the game on screen (rotular_partida).
struct rotulo_juego {
  std::string titulo, aviso;
  int fotogramas_aviso;  // frames the notice is still shown for
};
rotulo_juego rotulo;

}  // namespace

void rotular_partida(const std::string &titulo, const std::string &aviso)
{
  rotulo.titulo = titulo;
  rotulo.aviso = aviso;
}

void empezar_rotulo()
{
  rotulo.fotogramas_aviso = rotulo.aviso.empty() ? 0 : SEGUNDOS_AVISO * FOTOGRAMAS_POR_SEGUNDO;
}

void olvidar_rotulo()
{
  rotulo = {};
}

std::string linea_rotulo()
{
  std::string arriba;
  if (nucleo.secuencia.tipo == secuencia_contacto) {
    arriba = linea_bono();
  } else if (rotulo.fotogramas_aviso > 0) {
    arriba = rotulo.aviso;
  } else {
    arriba = rotulo.titulo;
  }
  if (rotulo.fotogramas_aviso > 0) {
    --rotulo.fotogramas_aviso;
  }
  return arriba;
}

bool cortar_cuenta(uint8_t antes, bool (*clic)(bool empezar))
{
  if (!nucleo.dt_bucle.suelto || nucleo.secuencia.tipo != secuencia_contacto) {
    return false;
  }
  if (antes != secuencia_contacto) {
    clic(true);
    return false;
  }
  if (!clic(false)) {
    return false;
  }
  pasar_secuencia();
  detener_efectos();
  return true;
}

void crear_marcador_partida()
{
  marcador = create_bitmap(ANCHO_PANTALLA, ALTO_MARCADOR);
  preparar_marcador();
}

entrada_juego entrada_puntero(int botones, int x, int y, int rueda, bool alt)
{
  entrada_juego e;
  e.botones = static_cast<uint8_t>(botones);
  e.celda = celda_en_pantalla(x, y);
  if (rueda != 0) {
    e.rueda = rueda > 0 ? 1 : -1;
  }
  if (alt) {
    e.teclas |= TECLA_ALT;
  }
  return e;
}
