// Small synthesis kit for the effects and the instruments: noise, filters,
// band-limited oscillators, envelopes, levels, and WAV output for review.
#include "sonido.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double PI = 3.14159265358979323846;

Filtro biquad(double b0, double b1, double b2, double a0, double a1, double a2)
{
    Filtro f;
    f.b0 = b0 / a0;
    f.b1 = b1 / a0;
    f.b2 = b2 / a0;
    f.a1 = a1 / a0;
    f.a2 = a2 / a0;
    return f;
}

void poner16(std::vector<uint8_t> &v, uint32_t n)
{
    v.push_back(uint8_t(n));
    v.push_back(uint8_t(n >> 8));
}

void poner32(std::vector<uint8_t> &v, uint32_t n)
{
    poner16(v, n & 0xFFFF);
    poner16(v, n >> 16);
}

} // namespace

float Ruido::siguiente()
{
    // xorshift32
    estado ^= estado << 13;
    estado ^= estado >> 17;
    estado ^= estado << 5;
    return float(double(estado) / 2147483648.0 - 1.0);
}

float Filtro::paso(float x)
{
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return float(y);
}

Filtro paso_bajo(double corte, double q)
{
    const double w = 2 * PI * std::min(corte, FRECUENCIA * 0.45) / FRECUENCIA;
    const double alfa = std::sin(w) / (2 * q), c = std::cos(w);
    return biquad((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alfa, -2 * c, 1 - alfa);
}

void ajustar_paso_bajo(Filtro &f, double corte, double q)
{
    ajustar(f, paso_bajo(corte, q));
}

void ajustar(Filtro &f, const Filtro &n)
{
    f.b0 = n.b0;
    f.b1 = n.b1;
    f.b2 = n.b2;
    f.a1 = n.a1;
    f.a2 = n.a2;
}

Filtro paso_alto(double corte, double q)
{
    const double w = 2 * PI * std::min(corte, FRECUENCIA * 0.45) / FRECUENCIA;
    const double alfa = std::sin(w) / (2 * q), c = std::cos(w);
    return biquad((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alfa, -2 * c, 1 - alfa);
}

Filtro paso_banda(double centro, double q)
{
    const double w = 2 * PI * std::min(centro, FRECUENCIA * 0.45) / FRECUENCIA;
    const double alfa = std::sin(w) / (2 * q), c = std::cos(w);
    return biquad(alfa, 0, -alfa, 1 + alfa, -2 * c, 1 - alfa);
}

float sierra(double fase, double frecuencia)
{
    const int armonicos = std::max(1, int(FRECUENCIA * 0.45 / frecuencia));
    double s = 0;
    for (int k = 1; k <= armonicos; ++k)
        s += std::sin(2 * PI * k * fase) / k;
    return float(s * (2 / PI));
}

float cuadrada(double fase, double frecuencia)
{
    const int armonicos = std::max(1, int(FRECUENCIA * 0.45 / frecuencia));
    double s = 0;
    for (int k = 1; k <= armonicos; k += 2)
        s += std::sin(2 * PI * k * fase) / k;
    return float(s * (4 / PI));
}

double caida_exp(double t, double tau)
{
    return t < 0 ? 0 : std::exp(-t / tau);
}

double subida(double t, double duracion)
{
    if (t <= 0)
        return 0;
    if (t >= duracion)
        return 1;
    return 0.5 - 0.5 * std::cos(PI * t / duracion);
}

double pico(const Senal &s)
{
    double p = 0;
    for (const float x : s)
        p = std::max(p, double(std::fabs(x)));
    return p;
}

void normalizar(Senal &s, double objetivo)
{
    const double p = pico(s);
    if (p <= 0)
        return;
    const float g = float(objetivo / p);
    for (float &x : s)
        x *= g;
}

double rms_maximo(const Senal &s, double ventana)
{
    const size_t n = std::max<size_t>(1, size_t(ventana * FRECUENCIA));
    double suma = 0, mejor = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        suma += double(s[i]) * s[i];
        if (i >= n)
            suma -= double(s[i - n]) * s[i - n];
        mejor = std::max(mejor, suma);
    }
    return std::sqrt(std::max(0.0, mejor) / double(std::min(n, std::max<size_t>(1, s.size()))));
}

std::vector<int16_t> a_pcm16(const Senal &s)
{
    std::vector<int16_t> v(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        v[i] = int16_t(std::lround(std::clamp(double(s[i]), -1.0, 1.0) * 32767.0));
    return v;
}

void suavizar_extremos(Senal &s, double entrada, double salida)
{
    const size_t ne = std::min(s.size(), size_t(entrada * FRECUENCIA));
    for (size_t i = 0; i < ne; ++i)
        s[i] *= float(subida(double(i), double(ne)));
    const size_t ns = std::min(s.size(), size_t(salida * FRECUENCIA));
    for (size_t i = 0; i < ns; ++i)
        s[s.size() - 1 - i] *= float(subida(double(i), double(ns)));
}

bool guardar_wav(const std::string &ruta, const std::vector<int16_t> &muestras, int canales,
                 std::string &error)
{
    const uint32_t bytes = uint32_t(muestras.size() * 2);
    std::vector<uint8_t> v;
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    poner32(v, 36 + bytes);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    poner32(v, 16);
    poner16(v, 1);
    poner16(v, uint32_t(canales));
    poner32(v, FRECUENCIA);
    poner32(v, uint32_t(FRECUENCIA * canales * 2));
    poner16(v, uint32_t(canales * 2));
    poner16(v, 16);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    poner32(v, bytes);
    for (const int16_t m : muestras)
        poner16(v, uint16_t(m));
    std::FILE *f = std::fopen(ruta.c_str(), "wb");
    if (!f) {
        error = "cannot create " + ruta + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = std::fwrite(v.data(), 1, v.size(), f) == v.size();
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write " + ruta;
        return false;
    }
    return true;
}
