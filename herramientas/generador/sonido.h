// The generator's sound: synthesis helpers, the sound effects, the music
// compiler and the intro.
#pragma once

#include "generador.h"

#include <cstdint>
#include <string>
#include <vector>

// Every sound is made at this rate, the rate the game mixes at.
constexpr int FRECUENCIA = 44100;

// Mono samples, nominally within -1..1.
using Senal = std::vector<float>;

// ---- Synthesis (sintesis.cpp) ----

// Deterministic white noise in -1..1: the same data on every build.
struct Ruido {
    uint32_t estado = 0x2545F491u;
    float siguiente();
};

// A second-order filter (RBJ biquad), applied sample by sample.
struct Filtro {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    float paso(float x);
};
Filtro paso_bajo(double corte, double q = 0.707);
Filtro paso_alto(double corte, double q = 0.707);
Filtro paso_banda(double centro, double q);
// Retunes a filter in place, keeping its memory, for sweeps.
void ajustar(Filtro &f, const Filtro &coeficientes);
void ajustar_paso_bajo(Filtro &f, double corte, double q = 0.707);

// Band-limited sawtooth and square at `fase` (cycles) for fundamental
// `frecuencia`: the harmonics below Nyquist, summed.
float sierra(double fase, double frecuencia);
float cuadrada(double fase, double frecuencia);

// Envelope shapes, t in seconds.
double caida_exp(double t, double tau);
double subida(double t, double duracion);

// Scales `s` so its largest magnitude is `pico`.
void normalizar(Senal &s, double pico);
double pico(const Senal &s);
// Root mean square of the loudest `ventana`-second stretch.
double rms_maximo(const Senal &s, double ventana);

// 16-bit signed samples, rounded and clamped.
std::vector<int16_t> a_pcm16(const Senal &s);

// Short fades at both ends so a one-shot starts and ends at rest.
void suavizar_extremos(Senal &s, double entrada, double salida);

// ---- The data files ----

// snd.dat: the twelve effects. Also leaves a WAV of each for review.
bool generar_efectos(const std::string &carpeta, std::string &error);

// msc.dat: the scores in `partituras` compiled into XM modules, and each
// module on its own beside it (menu.xm...), for review.
bool generar_musica(const std::string &partituras, const std::string &carpeta, std::string &error);

// intro.dat: the title card and its signature sound.
bool generar_intro(cairo_font_face_t *cara, const std::string &carpeta, std::string &error);

// Writes a mono or stereo 16-bit WAV, for review.
bool guardar_wav(const std::string &ruta, const std::vector<int16_t> &muestras, int canales,
                 std::string &error);

// The intro's signature sound: made with the effects, stored by intro.cpp.
Senal sonido_intro();
