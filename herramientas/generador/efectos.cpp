// The twelve sound effects of snd.dat, each synthesised for its event, and
// the intro's signature sound.
//
// Levels: every effect is set by the loudness of its loudest tenth of a
// second, not by its peak, so that a noisy explosion and a pure chime end
// up about as loud as each other and as the music (see generar_musica).
#include "sonido.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double DOS_PI = 2 * PI;

// Loudness targets (RMS of the loudest 100 ms) and the peak no effect
// exceeds. The tick repeats dozens of times in a row and the alarms go on
// for as long as the danger lasts, so they sit lower.
constexpr double NIVEL_NORMAL = 0.20;
constexpr double NIVEL_ALARMA = 0.13;
constexpr double NIVEL_TIC = 0.09;
constexpr double PICO_MAXIMO = 0.89;

size_t muestras(double segundos)
{
    return size_t(std::lround(segundos * FRECUENCIA));
}

// A signal of `segundos`, each sample from f(t).
Senal hacer(double segundos, const std::function<double(double)> &f)
{
    Senal s(muestras(segundos));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = float(f(double(i) / FRECUENCIA));
    return s;
}

// An oscillator whose frequency may change sample by sample.
struct Oscilador {
    double fase = 0;
    double avanzar(double frecuencia)
    {
        const double f = fase;
        fase += frecuencia / FRECUENCIA;
        fase -= std::floor(fase);
        return f;
    }
};

void mezclar(Senal &destino, const Senal &origen, double desde, double ganancia = 1)
{
    const size_t d = muestras(desde);
    if (destino.size() < d + origen.size())
        destino.resize(d + origen.size(), 0.0f);
    for (size_t i = 0; i < origen.size(); ++i)
        destino[d + i] += float(origen[i] * ganancia);
}

// Gentle saturation, for weight without hard clipping.
double saturar(double x)
{
    return std::tanh(x);
}

// Sets the level as explained at the top of the file.
void nivelar(Senal &s, double nivel)
{
    const double r = rms_maximo(s, 0.1);
    if (r <= 0)
        return;
    double g = nivel / r;
    g = std::min(g, PICO_MAXIMO / pico(s));
    for (float &x : s)
        x = float(x * g);
}

// ---- 0: the laser dies as its energy runs out ----
// A power-down: the beam's hum slides from a fifth-rich 440 Hz to a growl,
// flickering as the supply fails.
Senal laser_agotado()
{
    Oscilador a, b;
    Filtro lp = paso_bajo(5000);
    Ruido r;
    const double dur = 1.7;
    return hacer(dur, [&](double t) {
        const double x = t / dur;
        const double f = 440 * std::pow(2.0, -3.2 * x * x - 0.6 * x);
        ajustar_paso_bajo(lp, 5000 * (1 - 0.9 * x) + 150, 1.2);
        double v = 0.6 * sierra(a.avanzar(f), f) + 0.4 * sierra(b.avanzar(f * 1.5), f * 1.5);
        v = lp.paso(float(v));
        // Flicker: the supply drops out ever longer and more often.
        const double parpadeo = 0.5 + 0.5 * std::sin(DOS_PI * (6 + 10 * x) * t);
        const double corte = x > 0.35 && parpadeo < 0.25 + 0.5 * x ? 0.2 : 1.0;
        const double env = subida(t, 0.02) * (1 - x) * (1 - x) * corte;
        return v * env + 0.02 * r.siguiente() * env;
    });
}

// ---- 1: overload blow-out ----
// A screech that climbs as the beam overloads, then the laser bursts:
// a crackling blast over a low thump.
Senal sobrecarga()
{
    Oscilador c, m, sub;
    Ruido r;
    Filtro bp = paso_banda(900, 0.8), lp = paso_bajo(3000);
    double chispa = 0;
    const double dur = 1.5, golpe = 0.28;
    return hacer(dur, [&](double t) {
        double v = 0;
        if (t < golpe + 0.05) {
            const double f = 700 * std::pow(3.5, t / golpe);
            const double mod = std::sin(DOS_PI * m.avanzar(f * 1.41)) * 2.5;
            v += 0.5 * std::sin(DOS_PI * c.avanzar(f) + mod) * subida(t, 0.03) *
                 (t < golpe ? 1 : 1 - (t - golpe) / 0.05);
        }
        if (t >= golpe) {
            const double u = t - golpe;
            const double n = r.siguiente();
            ajustar_paso_bajo(lp, 200 + 6000 * caida_exp(u, 0.25));
            v += 1.4 * lp.paso(float(bp.paso(float(n)) * 2 + n * 0.5)) * caida_exp(u, 0.3) * subida(u, 0.004);
            // Sparks: sparse clicks that thin out.
            if (r.siguiente() > 1 - 0.02 * caida_exp(u, 0.4) - 0.002)
                chispa = r.siguiente() > 0 ? 1 : -1;
            chispa *= 0.85;
            v += 0.6 * chispa * caida_exp(u, 0.6);
            const double fs = 90 * std::pow(0.5, u * 3);
            v += 0.9 * std::sin(DOS_PI * sub.avanzar(fs)) * caida_exp(u, 0.22);
        }
        return saturar(v * 1.3);
    });
}

// A brass-like note: saw voices through a filter that opens with the
// attack, with a little vibrato once it settles.
Senal metal(double f, double dur, double brillo)
{
    Oscilador a, b;
    Filtro lp = paso_bajo(800);
    return hacer(dur, [&](double t) {
        const double vib = 1 + 0.004 * std::sin(DOS_PI * 5.5 * t) * subida(t, 0.3);
        const double g = f * vib;
        ajustar_paso_bajo(lp, f * (1.5 + brillo * (1 - caida_exp(t, 0.04)) * (0.6 + 0.4 * caida_exp(t, 0.5))));
        const double v = 0.5 * sierra(a.avanzar(g * 1.002), g) + 0.5 * sierra(b.avanzar(g * 0.998), g);
        const double env = subida(t, 0.015) * (0.75 + 0.25 * caida_exp(t, 0.1)) * (1 - subida(t - dur + 0.12, 0.12));
        return lp.paso(float(v)) * env;
    });
}

// ---- 2: a short fanfare for a connected beam ----
// Three quick pickups and a held C major chord with a sparkle on top.
Senal fanfarria()
{
    Senal s;
    const double c5 = 523.25, e5 = 659.26, g5 = 783.99, c6 = 1046.5;
    mezclar(s, metal(g5 / 2, 0.12, 6), 0.00, 0.7);
    mezclar(s, metal(c5, 0.12, 6), 0.00, 0.5);
    mezclar(s, metal(g5 / 2, 0.12, 6), 0.13, 0.7);
    mezclar(s, metal(c5, 0.12, 6), 0.13, 0.5);
    mezclar(s, metal(c5, 0.16, 6), 0.26, 0.7);
    mezclar(s, metal(e5, 0.16, 6), 0.26, 0.5);
    mezclar(s, metal(c5, 1.25, 8), 0.44, 0.55);
    mezclar(s, metal(e5, 1.25, 8), 0.44, 0.45);
    mezclar(s, metal(g5, 1.25, 8), 0.44, 0.45);
    mezclar(s, metal(c6, 1.25, 6), 0.44, 0.3);
    // The sparkle: a bell two octaves up as the chord lands.
    Oscilador p, m;
    const Senal campana = hacer(1.0, [&](double t) {
        const double f = c6 * 2;
        return std::sin(DOS_PI * p.avanzar(f) + 1.5 * caida_exp(t, 0.2) * std::sin(DOS_PI * m.avanzar(f * 3.5))) *
               caida_exp(t, 0.25);
    });
    mezclar(s, campana, 0.44, 0.18);
    suavizar_extremos(s, 0.002, 0.05);
    return s;
}

// Builds a seamless loop: `segmentos` of (frequency, seconds, on/off), each
// holding whole cycles so the phase comes back to zero at the loop point.
struct Segmento {
    double frecuencia, segundos;
    bool suena;
};
Senal alarma(const std::vector<Segmento> &segmentos, const double armonicos[3], double rampa)
{
    Senal s;
    for (const Segmento &g : segmentos) {
        const size_t n = muestras(g.segundos);
        const double ciclos = g.frecuencia * double(n) / FRECUENCIA;
        const double f = std::round(ciclos) * FRECUENCIA / double(n);
        for (size_t i = 0; i < n; ++i) {
            const double fase = f * double(i) / FRECUENCIA;
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v += armonicos[k] * std::sin(DOS_PI * (2 * k + 1) * fase);
            double env = 1;
            if (rampa > 0) {
                const double t = double(i) / FRECUENCIA;
                env = subida(t, rampa) * subida(g.segundos - t, rampa);
            }
            s.push_back(g.suena ? float(v * env) : 0.0f);
        }
    }
    return s;
}

// ---- 3: overload alarm, looped ----
// A steady two-tone warble, 2.5 times a second. The tones change on whole
// cycles, so neither the change nor the loop point clicks.
Senal alarma_sobrecarga()
{
    const double armonicos[3] = {1.0, 0.28, 0.1};
    return alarma({{880, 0.2, true}, {660, 0.2, true}}, armonicos, 0);
}

// ---- 4: mine alarm, looped ----
// Faster and shriller: short beeps alternating high and higher, ten a
// second.
Senal alarma_mina()
{
    const double armonicos[3] = {1.0, 0.35, 0.15};
    return alarma({{1500, 0.07, true}, {0, 0.03, false}, {1200, 0.07, true}, {0, 0.03, false}}, armonicos, 0.004);
}

// ---- 5: a deep explosion ----
Senal explosion_grave()
{
    Ruido r;
    Filtro lp = paso_bajo(3000), lp2 = paso_bajo(3000);
    Oscilador sub;
    return hacer(1.5, [&](double t) {
        const double corte = 150 + 3500 * caida_exp(t, 0.12);
        ajustar_paso_bajo(lp, corte);
        ajustar_paso_bajo(lp2, corte);
        const double ruido = lp2.paso(lp.paso(r.siguiente()));
        const double f = 30 + 50 * caida_exp(t, 0.15);
        const double golpe = std::sin(DOS_PI * sub.avanzar(f)) * caida_exp(t, 0.3);
        const double env = subida(t, 0.003) * caida_exp(t, 0.38);
        return saturar(2.2 * ruido * env + 0.9 * golpe);
    });
}

// ---- 6: a sharp, crackling explosion ----
Senal explosion_aguda()
{
    Ruido r;
    Filtro bp = paso_banda(1300, 0.7), hp = paso_alto(2500), lp = paso_bajo(4000);
    Oscilador sub;
    double chispa = 0;
    return hacer(1.1, [&](double t) {
        const double n = r.siguiente();
        double v = 1.6 * bp.paso(float(n)) * caida_exp(t, 0.16);
        v += 0.8 * hp.paso(float(n)) * caida_exp(t, 0.012);
        if (r.siguiente() > 0.985 + 0.014 * subida(t, 1.0))
            chispa = r.siguiente();
        chispa *= 0.9;
        v += 0.9 * lp.paso(float(chispa)) * caida_exp(t, 0.45);
        v += 0.5 * std::sin(DOS_PI * sub.avanzar(60 + 60 * caida_exp(t, 0.05))) * caida_exp(t, 0.12);
        return saturar(v * subida(t, 0.001) * 1.4);
    });
}

// ---- 7: the receiver's gate dissolves ----
// A shower of glassy grains in A major pentatonic, thinning out, over a
// soft falling whoosh.
Senal puerta()
{
    const double dur = 1.4;
    Senal s(muestras(dur), 0.0f);
    Ruido r;
    const double escala[] = {880.0, 987.77, 1108.73, 1318.51, 1479.98, 1760.0, 1975.53, 2217.46, 2637.02};
    for (int i = 0; i < 42; ++i) {
        const double u = (r.siguiente() + 1) / 2;
        const double inicio = 0.9 * u * u;
        const double f = escala[size_t((r.siguiente() + 1) / 2 * 8.99)];
        const double g = 0.35 * (1 - inicio / dur);
        Oscilador o;
        mezclar(s, hacer(0.25, [&](double t) {
            return std::sin(DOS_PI * o.avanzar(f)) * subida(t, 0.004) * caida_exp(t, 0.06);
        }), inicio, g);
    }
    Filtro bp = paso_banda(4000, 2);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / FRECUENCIA;
        ajustar(bp, paso_banda(600 + 3400 * caida_exp(t, 0.4), 2));
        s[i] += float(0.5 * bp.paso(r.siguiente()) * subida(t, 0.1) * caida_exp(t, 0.35));
    }
    suavizar_extremos(s, 0.002, 0.1);
    return s;
}

// ---- 8: a gremlin pops in ----
// A quick rising "bloop" with a wobble, after a soft pop.
Senal gremlin()
{
    Oscilador o, w;
    Ruido r;
    Filtro lp = paso_bajo(2000);
    return hacer(0.32, [&](double t) {
        const double f = 220 * std::pow(4.5, std::min(t / 0.14, 1.0)) * (1 + 0.06 * std::sin(DOS_PI * w.avanzar(28)));
        const double tono = std::sin(DOS_PI * o.avanzar(f)) + 0.25 * std::sin(2 * DOS_PI * o.fase);
        const double pop = lp.paso(r.siguiente()) * caida_exp(t, 0.006);
        return 0.8 * tono * subida(t, 0.008) * (1 - subida(t - 0.12, 0.2)) + 1.5 * pop;
    });
}

// ---- 9: a gremlin caught ----
// A squeak up, then a zap falling away.
Senal gremlin_cazado()
{
    Oscilador o, m;
    Ruido r;
    Filtro hp = paso_alto(1500);
    return hacer(0.5, [&](double t) {
        double v = 0;
        if (t < 0.08) {
            const double f = 1100 * std::pow(1.8, t / 0.08);
            v = std::sin(DOS_PI * o.avanzar(f)) * subida(t, 0.005) * (1 - subida(t - 0.06, 0.02));
        } else {
            const double u = t - 0.08;
            const double f = 1800 * std::pow(0.08, std::min(u / 0.35, 1.0));
            const double mod = 1.8 * caida_exp(u, 0.15) * std::sin(DOS_PI * m.avanzar(f * 0.5));
            v = 0.9 * std::sin(DOS_PI * o.avanzar(f) + mod) * subida(u, 0.003) * (1 - subida(u - 0.3, 0.12));
            v += 0.25 * hp.paso(r.siguiente()) * caida_exp(u, 0.05);
        }
        return v;
    });
}

// ---- 10: a bright chime for each life turned into points ----
Senal bono_vida()
{
    Oscilador a, am, b;
    const double f = 1567.98; // G6
    return hacer(0.8, [&](double t) {
        const double indice = 2.2 * caida_exp(t, 0.12);
        const double v = std::sin(DOS_PI * a.avanzar(f) + indice * std::sin(DOS_PI * am.avanzar(f * 2))) *
                             caida_exp(t, 0.22) +
                         0.4 * std::sin(DOS_PI * b.avanzar(f * 2)) * caida_exp(t, 0.09);
        return v * subida(t, 0.002);
    });
}

// ---- 11: a tick of the energy meter ----
// It may sound 65 times in a row at frame rate: short, round and soft, no
// noise and nothing above a few kHz.
Senal tic()
{
    Oscilador o;
    return hacer(0.024, [&](double t) {
        const double f = 1700 - 500 * std::min(t / 0.02, 1.0);
        return std::sin(DOS_PI * o.avanzar(f)) * subida(t, 0.0015) * caida_exp(t, 0.006);
    });
}

struct Efecto {
    const char *nombre;
    Senal (*hacer)();
    double nivel;
    bool bucle; // played looped: its ends must meet, not fade
};

// In the order of snd.dat; the game refers to them by index.
const Efecto EFECTOS[] = {
    {"LASER_AGOTADO", laser_agotado, NIVEL_NORMAL, false},
    {"SOBRECARGA", sobrecarga, NIVEL_NORMAL, false},
    {"CONECTADO", fanfarria, NIVEL_NORMAL, false},
    {"ALARMA_SOBRECARGA", alarma_sobrecarga, NIVEL_ALARMA, true},
    {"ALARMA_MINA", alarma_mina, NIVEL_ALARMA, true},
    {"EXPLOSION_GRAVE", explosion_grave, NIVEL_NORMAL, false},
    {"EXPLOSION_AGUDA", explosion_aguda, NIVEL_NORMAL, false},
    {"PUERTA", puerta, NIVEL_NORMAL, false},
    {"GREMLIN", gremlin, NIVEL_NORMAL, false},
    {"GREMLIN_CAZADO", gremlin_cazado, NIVEL_NORMAL, false},
    {"BONO_VIDA", bono_vida, NIVEL_NORMAL, false},
    {"TIC", tic, NIVEL_TIC, false},
};

} // namespace

Senal sonido_intro()
{
    // A laser charging up, then a shimmering A major add9 chord that rings
    // out over a low swell.
    const double dur = 3.6;
    Senal s(muestras(dur), 0.0f);
    Oscilador carga, carga2;
    mezclar(s, hacer(0.75, [&](double t) {
        const double f = 180 * std::pow(7.0, t / 0.75);
        return (0.6 * std::sin(DOS_PI * carga.avanzar(f)) + 0.3 * sierra(carga2.avanzar(f * 1.5), f * 1.5)) *
               subida(t, 0.4) * (1 - subida(t - 0.65, 0.1));
    }), 0.0, 0.5);
    const double acorde[] = {220.0, 329.63, 440.0, 554.37, 659.26, 987.77};
    for (size_t i = 0; i < 6; ++i) {
        Oscilador p, m;
        const double f = acorde[i];
        const double retraso = 0.7 + 0.05 * double(i);
        mezclar(s, hacer(dur - retraso, [&](double t) {
            const double indice = 1.6 * caida_exp(t, 0.35);
            return std::sin(DOS_PI * p.avanzar(f) + indice * std::sin(DOS_PI * m.avanzar(f * 3))) *
                   subida(t, 0.003) * caida_exp(t, 0.9 + 0.1 * double(i)) * (1 - subida(t - (dur - retraso) + 0.3, 0.3));
        }), retraso, 0.22);
    }
    Oscilador bajo;
    mezclar(s, hacer(2.8, [&](double t) {
        return std::sin(DOS_PI * bajo.avanzar(55)) * subida(t, 0.08) * caida_exp(t, 0.8) * (1 - subida(t - 2.5, 0.3));
    }), 0.7, 0.5);
    nivelar(s, NIVEL_NORMAL);
    suavizar_extremos(s, 0.002, 0.2);
    return s;
}

bool generar_efectos(const std::string &carpeta, std::string &error)
{
    std::vector<ObjetoDat> objetos;
    int n = 0;
    for (const Efecto &e : EFECTOS) {
        Senal s = e.hacer();
        nivelar(s, e.nivel);
        if (!e.bucle)
            suavizar_extremos(s, 0.0005, 0.004);
        const std::vector<int16_t> pcm = a_pcm16(s);
        objetos.push_back({DAT_ID_SAMPLE, e.nombre, codificar_sample(pcm, FRECUENCIA)});
        if (!guardar_wav(carpeta + "efecto" + std::to_string(n++) + ".wav", pcm, 1, error))
            return false;
    }
    return escribir_datafile(carpeta + "snd.dat", objetos, error);
}
