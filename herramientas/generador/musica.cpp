// msc.dat: the scores of datos/musica compiled into XM modules, with their
// instruments synthesised here. The score format is described in
// datos/musica/README.md.
//
// Each piece is checked as it is compiled (every bar full, every note in
// the piece's scale) and then levelled: it is rendered with libopenmpt, the
// decoder the game uses, and its global volume is set so that it reaches
// the common loudness without clipping.
#include "sonido.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double DOS_PI = 2 * PI;

// The pieces of msc.dat, in order: the menu, then the levels of even and of
// odd index.
const char *const PARTITURAS[] = {"menu.txt", "nivel_par.txt", "nivel_impar.txt"};

// Loudness of every piece: RMS over the whole piece, and the peak it must
// stay under (a decibel below full scale).
constexpr double RMS_MUSICA = 0.115;
constexpr double PICO_MUSICA = 0.89;

constexpr int NOTA_OFF = 97;
constexpr double DO4 = 261.6255653;

// ---------------------------------------------------------------------------
// The score
// ---------------------------------------------------------------------------

struct Instrumento {
    std::string nombre, tipo;
    std::map<std::string, double> valores;
    int linea = 0;
    double valor(const char *clave, double defecto) const
    {
        const auto i = valores.find(clave);
        return i == valores.end() ? defecto : i->second;
    }
};

struct Voz {
    std::string nombre;
    int instrumento = -1; // -1: a drum voice, its tokens name the instrument
    int canales = 1;
    int volumen = 64;
    int eco_pasos = 0, eco_volumen = 0;
    int primer_canal = 0;
};

struct Golpe {
    int instrumento;
    int nota;
};

// One cell of the tracker grid.
struct Celda {
    int nota = 0; // 1..96, NOTA_OFF, or 0 for nothing
    int instrumento = 0; // 1-based
    int volumen = -1; // 0..64, or -1 for none
    int efecto = 0, parametro = 0;
};

struct Token {
    std::string texto;
    int transporte;
    int linea;
};

struct Seccion {
    std::string nombre;
    int compases = 0;
    std::map<std::string, std::vector<Token>> pistas;
    int linea = 0;
};

struct Partitura {
    std::string fichero;
    std::string titulo;
    int tempo = 120, pasos = 4, compas = 4;
    int tempo_xm = 120;
    bool escala[12] = {};
    bool hay_escala = false;
    std::vector<Instrumento> instrumentos;
    std::vector<Voz> voces;
    std::map<std::string, Golpe> golpes;
    std::map<std::string, std::vector<Token>> frases;
    std::vector<Seccion> secciones;
    std::vector<int> orden;
    int bucle = 0;
};

struct Fallo {
    std::string texto;
};

[[noreturn]] void fallar(const Partitura &p, int linea, const std::string &texto)
{
    throw Fallo{p.fichero + ":" + std::to_string(linea) + ": " + texto};
}

int entero(const Partitura &p, int linea, const std::string &s)
{
    try {
        size_t usados = 0;
        const int v = std::stoi(s, &usados);
        if (usados == s.size())
            return v;
    } catch (...) {
    }
    fallar(p, linea, "not a whole number: " + s);
}

// Pitch class of a note name ("c", "f#", "bb"), or -1.
int clase(const std::string &s)
{
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7}; // a..g
    if (s.empty() || s[0] < 'a' || s[0] > 'g')
        return -1;
    int c = base[s[0] - 'a'];
    if (s.size() == 2 && s[1] == '#')
        c += 1;
    else if (s.size() == 2 && s[1] == 'b')
        c -= 1;
    else if (s.size() != 1)
        return -1;
    return (c + 12) % 12;
}

std::vector<std::string> palabras(const std::string &linea)
{
    std::istringstream in(linea);
    std::vector<std::string> v;
    std::string w;
    while (in >> w)
        v.push_back(w);
    return v;
}

int buscar_instrumento(const Partitura &p, int linea, const std::string &nombre)
{
    for (size_t i = 0; i < p.instrumentos.size(); ++i)
        if (p.instrumentos[i].nombre == nombre)
            return int(i);
    fallar(p, linea, "unknown instrument " + nombre);
}

const Voz *buscar_voz(const Partitura &p, const std::string &nombre)
{
    for (const Voz &v : p.voces)
        if (v.nombre == nombre)
            return &v;
    return nullptr;
}

// A note like "c4", "f#3", "bb2", transposed; returns the XM note (C-4 is
// 49), checking that it is in the scale.
int leer_nota(const Partitura &p, const Token &t, const std::string &s, bool en_escala = true)
{
    size_t i = 1;
    if (i < s.size() && (s[i] == '#' || s[i] == 'b'))
        ++i;
    const int c = clase(s.substr(0, i));
    if (c < 0 || i + 1 != s.size() || s[i] < '0' || s[i] > '7')
        fallar(p, t.linea, "not a note: " + s);
    // Octaves are counted from C, so "b#3" would be ambiguous: not allowed.
    if ((s[0] == 'b' && i == 2 && s[1] == '#') || (s[0] == 'c' && i == 2 && s[1] == 'b'))
        fallar(p, t.linea, "write " + s + " with its plain name");
    const int nota = (s[i] - '0') * 12 + c + 1 + t.transporte;
    if (nota < 1 || nota > 96)
        fallar(p, t.linea, "note out of range: " + s);
    if (en_escala && p.hay_escala && !p.escala[(nota - 1) % 12])
        fallar(p, t.linea, "note out of the piece's scale: " + s +
                               (t.transporte ? " transposed by " + std::to_string(t.transporte) : ""));
    return nota;
}

// Expands "@frase+3" references and splits a line into tokens.
void anadir_tokens(const Partitura &p, const std::string &texto, int transporte, int linea,
                   std::vector<Token> &destino, int profundidad = 0)
{
    for (const std::string &w : palabras(texto)) {
        if (w[0] != '@') {
            destino.push_back({w, transporte, linea});
            continue;
        }
        size_t fin = w.find_first_of("+-", 1);
        const std::string nombre = w.substr(1, fin == std::string::npos ? std::string::npos : fin - 1);
        const int t = fin == std::string::npos ? 0 : entero(p, linea, w.substr(fin));
        const auto f = p.frases.find(nombre);
        if (f == p.frases.end())
            fallar(p, linea, "unknown phrase " + nombre);
        if (profundidad > 8)
            fallar(p, linea, "phrases nested too deep");
        for (const Token &k : f->second) {
            if (k.texto[0] == '@')
                anadir_tokens(p, k.texto, transporte + t + k.transporte, linea, destino, profundidad + 1);
            else
                destino.push_back({k.texto, transporte + t + k.transporte, linea});
        }
    }
}

Partitura leer_partitura(const std::string &ruta, const std::string &nombre)
{
    Partitura p;
    p.fichero = nombre;
    std::ifstream in(ruta);
    if (!in)
        throw Fallo{"cannot read " + ruta};
    std::string linea;
    int n = 0;
    // What the lines being read belong to: a phrase, a section, or nothing.
    std::string frase;
    Seccion *seccion = nullptr;
    std::string voz_actual;
    while (std::getline(in, linea)) {
        ++n;
        const size_t almohadilla = linea.find('#');
        // '#' is also a sharp; a comment starts at a '#' after a space or at
        // the start of the line.
        for (size_t i = almohadilla; i != std::string::npos; i = linea.find('#', i + 1)) {
            if (i == 0 || linea[i - 1] == ' ' || linea[i - 1] == '\t') {
                linea.erase(i);
                break;
            }
        }
        const std::vector<std::string> w = palabras(linea);
        if (w.empty())
            continue;
        const std::string &c = w[0];
        if (c == "fin") {
            if (frase.empty() && !seccion)
                fallar(p, n, "'fin' outside a phrase or section");
            frase.clear();
            seccion = nullptr;
            continue;
        }
        if (!frase.empty()) {
            anadir_tokens(p, linea, 0, n, p.frases[frase]);
            continue;
        }
        if (seccion) {
            std::string resto = linea;
            if (c != "|") {
                if (!buscar_voz(p, c))
                    fallar(p, n, "unknown voice " + c);
                voz_actual = c;
                resto = linea.substr(linea.find(c) + c.size());
            } else if (voz_actual.empty()) {
                fallar(p, n, "a continuation line before any voice");
            }
            anadir_tokens(p, resto, 0, n, seccion->pistas[voz_actual]);
            continue;
        }
        if (c == "titulo") {
            p.titulo = linea.substr(linea.find("titulo") + 6);
            p.titulo.erase(0, p.titulo.find_first_not_of(" \t"));
        } else if (c == "tempo" && w.size() == 2) {
            p.tempo = entero(p, n, w[1]);
        } else if (c == "pasos" && w.size() == 2) {
            p.pasos = entero(p, n, w[1]);
        } else if (c == "compas" && w.size() == 2) {
            p.compas = entero(p, n, w[1]);
        } else if (c == "escala") {
            p.hay_escala = true;
            for (size_t i = 1; i < w.size(); ++i) {
                const int k = clase(w[i]);
                if (k < 0)
                    fallar(p, n, "not a note name: " + w[i]);
                p.escala[k] = true;
            }
        } else if (c == "instrumento" && w.size() >= 3) {
            Instrumento ins;
            ins.nombre = w[1];
            ins.tipo = w[2];
            ins.linea = n;
            for (size_t i = 3; i < w.size(); ++i) {
                const size_t igual = w[i].find('=');
                if (igual == std::string::npos)
                    fallar(p, n, "expected key=value: " + w[i]);
                try {
                    ins.valores[w[i].substr(0, igual)] = std::stod(w[i].substr(igual + 1));
                } catch (...) {
                    fallar(p, n, "not a number: " + w[i]);
                }
            }
            p.instrumentos.push_back(ins);
        } else if (c == "voz" && w.size() >= 3) {
            Voz v;
            v.nombre = w[1];
            if (w[2] != "-")
                v.instrumento = buscar_instrumento(p, n, w[2]);
            for (size_t i = 3; i < w.size(); ++i) {
                const size_t igual = w[i].find('=');
                const std::string clave = w[i].substr(0, igual);
                const std::string valor = igual == std::string::npos ? "" : w[i].substr(igual + 1);
                if (clave == "canales")
                    v.canales = entero(p, n, valor);
                else if (clave == "vol")
                    v.volumen = entero(p, n, valor);
                else if (clave == "eco" && valor.find(':') != std::string::npos) {
                    v.eco_pasos = entero(p, n, valor.substr(0, valor.find(':')));
                    v.eco_volumen = entero(p, n, valor.substr(valor.find(':') + 1));
                } else
                    fallar(p, n, "unknown voice setting " + w[i]);
            }
            if (v.canales < 1 || v.canales > 8 || v.volumen < 0 || v.volumen > 64)
                fallar(p, n, "bad voice settings");
            p.voces.push_back(v);
        } else if (c == "golpe" && w.size() == 4) {
            Token t{w[3], 0, n};
            p.golpes[w[1]] = {buscar_instrumento(p, n, w[2]), leer_nota(p, t, w[3], false)};
        } else if (c == "frase" && w.size() == 2) {
            frase = w[1];
            p.frases[frase].clear();
        } else if (c == "seccion" && w.size() == 3) {
            p.secciones.push_back({w[1], entero(p, n, w[2]), {}, n});
            seccion = &p.secciones.back();
            voz_actual.clear();
        } else if (c == "orden") {
            for (size_t i = 1; i < w.size(); ++i) {
                int k = -1;
                for (size_t s = 0; s < p.secciones.size(); ++s)
                    if (p.secciones[s].nombre == w[i])
                        k = int(s);
                if (k < 0)
                    fallar(p, n, "unknown section " + w[i]);
                p.orden.push_back(k);
            }
        } else if (c == "bucle" && w.size() == 2) {
            p.bucle = entero(p, n, w[1]);
        } else {
            fallar(p, n, "cannot read this line");
        }
    }
    if (!frase.empty() || seccion)
        fallar(p, n, "missing 'fin'");
    if (p.orden.empty())
        fallar(p, n, "no 'orden'");
    // Six ticks a row: the tracker's tempo that gives `pasos` rows a beat.
    p.tempo_xm = p.tempo * p.pasos / 4;
    if (p.tempo * p.pasos % 4 != 0 || p.tempo_xm < 32 || p.tempo_xm > 255)
        fallar(p, n, "tempo x pasos must be a multiple of 4 between 128 and 1020");
    if (p.bucle < 0 || p.bucle >= int(p.orden.size()))
        fallar(p, n, "'bucle' must name a position of 'orden'");
    return p;
}

// The grid of one section: rows x channels.
using Rejilla = std::vector<std::vector<Celda>>;

void compilar_pista(const Partitura &p, const Seccion &s, const Voz &v, const std::vector<Token> &tokens,
                    Rejilla &r)
{
    const int por_compas = p.pasos * p.compas;
    const int filas = s.compases * por_compas;
    int fila = 0;
    for (const Token &t : tokens) {
        if (t.texto == "|") {
            if (fila % por_compas != 0)
                fallar(p, t.linea, "voice " + v.nombre + ": bar " + std::to_string(fila / por_compas + 1) +
                                       " of section " + s.nombre + " does not have " + std::to_string(por_compas) +
                                       " steps");
            continue;
        }
        std::string cuerpo = t.texto;
        int duracion = 1;
        const size_t dos_puntos = cuerpo.find(':');
        if (dos_puntos != std::string::npos) {
            duracion = entero(p, t.linea, cuerpo.substr(dos_puntos + 1));
            cuerpo.erase(dos_puntos);
            if (duracion < 1)
                fallar(p, t.linea, "bad length in " + t.texto);
        }
        if (fila + duracion > filas)
            fallar(p, t.linea, "voice " + v.nombre + " runs past the end of section " + s.nombre);
        std::vector<Celda> &celdas = r[size_t(fila)];
        if (cuerpo == "r") {
            for (int k = 0; k < v.canales; ++k)
                celdas[size_t(v.primer_canal + k)].nota = NOTA_OFF;
        } else if (cuerpo != ".") {
            std::vector<std::string> piezas;
            std::istringstream in(cuerpo);
            for (std::string x; std::getline(in, x, '+');)
                piezas.push_back(x);
            if (int(piezas.size()) > v.canales)
                fallar(p, t.linea, "voice " + v.nombre + " has " + std::to_string(v.canales) +
                                       " channels, not enough for " + cuerpo);
            for (size_t k = 0; k < piezas.size(); ++k) {
                std::string x = piezas[k];
                int volumen = v.volumen;
                const size_t exclamacion = x.find('!');
                if (exclamacion != std::string::npos) {
                    volumen = entero(p, t.linea, x.substr(exclamacion + 1));
                    x.erase(exclamacion);
                    if (volumen < 0 || volumen > 64)
                        fallar(p, t.linea, "volume must be 0 to 64: " + t.texto);
                }
                Celda &c = celdas[size_t(v.primer_canal) + k];
                const auto g = p.golpes.find(x);
                if (g != p.golpes.end()) {
                    c.nota = g->second.nota;
                    c.instrumento = g->second.instrumento + 1;
                } else {
                    if (v.instrumento < 0)
                        fallar(p, t.linea, "drum voice " + v.nombre + " has no hit called " + x);
                    c.nota = leer_nota(p, t, x);
                    c.instrumento = v.instrumento + 1;
                }
                // The instrument's own level, scaled by the voice's or the
                // note's.
                const int propio = int(p.instrumentos[size_t(c.instrumento - 1)].valor("volumen", 48));
                c.volumen = propio * volumen / 64;
            }
        }
        fila += duracion;
    }
    if (fila != filas)
        fallar(p, s.linea, "voice " + v.nombre + " fills " + std::to_string(fila) + " of the " + std::to_string(filas) +
                               " steps of section " + s.nombre);
}

// The whole piece as one grid, the sections laid out in order; returns
// also where each order position starts.
Rejilla desplegar(const Partitura &p, int canales, std::vector<int> &inicios)
{
    std::vector<Rejilla> secciones;
    for (const Seccion &s : p.secciones) {
        const int filas = s.compases * p.pasos * p.compas;
        if (filas > 256)
            fallar(p, s.linea, "a section may have at most 256 steps");
        Rejilla r(size_t(filas), std::vector<Celda>(static_cast<size_t>(canales)));
        for (const Voz &v : p.voces) {
            const auto pista = s.pistas.find(v.nombre);
            if (pista != s.pistas.end()) {
                compilar_pista(p, s, v, pista->second, r);
            } else {
                // A voice that rests through a section lets go of its notes.
                for (int k = 0; k < v.canales; ++k)
                    r[0][size_t(v.primer_canal + k)].nota = NOTA_OFF;
            }
        }
        secciones.push_back(std::move(r));
    }
    Rejilla todo;
    for (const int k : p.orden) {
        inicios.push_back(int(todo.size()));
        todo.insert(todo.end(), secciones[size_t(k)].begin(), secciones[size_t(k)].end());
    }
    // Echoes: each echoing voice's notes again, later, softer and to the
    // right, on channels of their own (notes past the end are dropped).
    for (const Voz &v : p.voces) {
        if (v.eco_pasos <= 0)
            continue;
        for (size_t f = 0; f + size_t(v.eco_pasos) < todo.size(); ++f) {
            for (int k = 0; k < v.canales; ++k) {
                Celda c = todo[f][size_t(v.primer_canal + k)];
                if (c.nota == 0)
                    continue;
                if (c.volumen >= 0)
                    c.volumen = c.volumen * v.eco_volumen / 100;
                // Off to one side, for a little width.
                if (c.nota != NOTA_OFF) {
                    c.efecto = 0x08;
                    c.parametro = 0xB8;
                }
                todo[f + size_t(v.eco_pasos)][size_t(v.primer_canal + v.canales + k)] = c;
            }
        }
    }
    return todo;
}

// ---------------------------------------------------------------------------
// Instruments
// ---------------------------------------------------------------------------

struct Muestra {
    Senal datos;
    double frecuencia = DO4; // pitch of the sample as it stands
    size_t bucle_inicio = 0, bucle_largo = 0; // no loop when 0
    // Volume envelope in seconds: rise, fall to the held level, release.
    double ataque = 0, decaimiento = 0, sostenido = 1, relajacion = 0.2;
    int vibrato_profundidad = 0, vibrato_velocidad = 0;
    int panorama = 128, volumen = 64;
};

// Additive synthesis: harmonics of an integer frequency, so one second is
// always a whole number of cycles and loops without a seam. The spectrum
// goes from `brillo0` to `brillo` over the first `tiempo_brillo` seconds,
// then the last second loops.
Muestra aditivo(const Instrumento &ins, double f, int forma)
{
    Muestra m;
    const double voces = std::clamp(ins.valor("voces", 1), 1.0, 5.0);
    const double desafinado = ins.valor("desafinado", 0); // Hz between voices
    const double brillo = ins.valor("brillo", 4), brillo0 = ins.valor("brillo0", brillo);
    const double tiempo_brillo = ins.valor("tiempo_brillo", 0.15);
    const size_t inicio = size_t(std::ceil(tiempo_brillo * FRECUENCIA));
    const size_t total = inicio + FRECUENCIA;
    m.datos.assign(total, 0.0f);
    m.frecuencia = f;
    m.bucle_inicio = inicio;
    m.bucle_largo = FRECUENCIA;
    std::vector<double> peso_final, peso_inicial;
    for (int v = 0; v < int(voces); ++v) {
        const double fv = f + desafinado * (v - (voces - 1) / 2.0);
        const int armonicos = int(FRECUENCIA * 0.45 / fv);
        for (int k = 1; k <= armonicos; ++k) {
            double a = forma == 1 ? (k % 2 ? 1.0 / k : 0) : (forma == 2 ? 1.0 / (double(k) * k) : 1.0 / k);
            if (forma == 3) // organ: a few drawbars
                a = k == 1 ? 1 : k == 2 ? 0.6 : k == 3 ? 0.35 : k == 4 ? 0.3 : k == 6 ? 0.15 : k == 8 ? 0.12 : 0;
            const double x = k * fv / (brillo * f), x0 = k * fv / (brillo0 * f);
            const double a1 = a / std::sqrt(1 + x * x * x * x), a0 = a / std::sqrt(1 + x0 * x0 * x0 * x0);
            if (std::max(a1, a0) < 2e-4)
                continue;
            // A fixed, spread phase per voice and harmonic: identical
            // builds, and no peaky waveform from aligned phases.
            const double fase = std::fmod(0.618034 * (k * 7 + v * 13), 1.0);
            for (size_t i = 0; i < total; ++i) {
                const double t = double(i) / FRECUENCIA;
                const double mezcla = i < inicio ? subida(t, tiempo_brillo) : 1;
                const double amp = a0 + (a1 - a0) * mezcla;
                m.datos[i] += float(amp * std::sin(DOS_PI * (fv * t + fase)));
            }
        }
    }
    normalizar(m.datos, 0.9);
    return m;
}

// FM: a sine carrier with one modulator whose depth dies away; for electric
// pianos and bells. Not looped: the note decays by itself.
Muestra fm(const Instrumento &ins, double f)
{
    Muestra m;
    const double razon = ins.valor("razon", 1), indice = ins.valor("indice", 1.5);
    const double caida = ins.valor("caida", 1.2), caida_indice = ins.valor("caida_indice", caida * 0.4);
    const double dur = std::min(4.0, caida * 4);
    m.frecuencia = f;
    m.datos.resize(size_t(dur * FRECUENCIA));
    for (size_t i = 0; i < m.datos.size(); ++i) {
        const double t = double(i) / FRECUENCIA;
        const double mod = indice * caida_exp(t, caida_indice) * std::sin(DOS_PI * f * razon * t);
        const double tine = 0.15 * std::sin(DOS_PI * f * 7 * t) * caida_exp(t, 0.02);
        m.datos[i] = float((std::sin(DOS_PI * f * t + mod) + tine) * caida_exp(t, caida) * subida(t, 0.002));
    }
    suavizar_extremos(m.datos, 0, 0.05);
    normalizar(m.datos, 0.9);
    return m;
}

// Plucked string (Karplus-Strong) on a whole-sample period.
Muestra pulsado(const Instrumento &ins, double f)
{
    Muestra m;
    const size_t periodo = size_t(std::lround(FRECUENCIA / f));
    m.frecuencia = double(FRECUENCIA) / double(periodo);
    const double caida = ins.valor("caida", 0.8);
    const double brillo = ins.valor("brillo", 0.5);
    std::vector<float> linea(periodo);
    Ruido r;
    Filtro lp = paso_bajo(m.frecuencia * (2 + 20 * brillo));
    for (float &x : linea)
        x = lp.paso(r.siguiente());
    const size_t total = size_t(std::min(3.0, caida * 3.5) * FRECUENCIA);
    // Per-period loss that gives the asked decay time.
    const double perdida = std::exp(-1.0 / (caida * m.frecuencia));
    m.datos.resize(total);
    float previo = 0;
    for (size_t i = 0; i < total; ++i) {
        const size_t j = i % periodo;
        const float x = linea[j];
        m.datos[i] = x;
        linea[j] = float(perdida * (0.5 * (x + previo)));
        previo = x;
    }
    Filtro dc = paso_alto(20);
    for (float &x : m.datos)
        x = dc.paso(x);
    suavizar_extremos(m.datos, 0.001, 0.05);
    normalizar(m.datos, 0.9);
    return m;
}

// Drums, at their natural pitch (played at C-4).
Muestra bateria(const Instrumento &ins)
{
    Muestra m;
    Ruido r;
    const double tono = ins.valor("tono", 1);
    const std::string &t = ins.tipo;
    double dur = 0.5;
    if (t == "bombo")
        dur = 0.5;
    else if (t == "caja" || t == "palmas")
        dur = 0.35;
    else if (t == "charles")
        dur = 0.08;
    else if (t == "abierto")
        dur = 0.45;
    else if (t == "platillo")
        dur = 2.0;
    else if (t == "tom")
        dur = 0.5;
    else if (t == "maraca")
        dur = 0.09;
    m.datos.resize(size_t(dur * FRECUENCIA));
    Filtro hp = paso_alto(7000), hp2 = paso_alto(5000), bp = paso_banda(1800 * tono, 1.2), lp = paso_bajo(9000);
    Filtro bp2 = paso_banda(1100, 3);
    double fase = 0;
    for (size_t i = 0; i < m.datos.size(); ++i) {
        const double s = double(i) / FRECUENCIA;
        const double n = r.siguiente();
        double v = 0;
        if (t == "bombo") {
            const double f = tono * (45 + 110 * caida_exp(s, 0.03));
            fase += f / FRECUENCIA;
            v = std::tanh(1.6 * std::sin(DOS_PI * fase)) * caida_exp(s, 0.16) + 0.3 * lp.paso(float(n)) * caida_exp(s, 0.004);
        } else if (t == "caja") {
            const double f = tono * (180 + 40 * caida_exp(s, 0.02));
            fase += f / FRECUENCIA;
            v = 0.55 * std::sin(DOS_PI * fase) * caida_exp(s, 0.05) + 0.8 * bp.paso(float(n)) * caida_exp(s, 0.09) +
                0.3 * hp2.paso(float(n)) * caida_exp(s, 0.06);
        } else if (t == "palmas") {
            // Three quick claps and a tail.
            const double e = caida_exp(s, 0.008) + caida_exp(s - 0.012, 0.008) * (s > 0.012) +
                             caida_exp(s - 0.024, 0.05) * (s > 0.024);
            v = bp2.paso(float(n)) * e * 2.5;
        } else if (t == "charles" || t == "abierto" || t == "maraca") {
            const double tau = t == "charles" ? 0.018 : t == "maraca" ? 0.025 : 0.15;
            v = hp.paso(float(n)) * caida_exp(s, tau) * subida(s, t == "maraca" ? 0.01 : 0.0005);
        } else if (t == "platillo") {
            v = 0.7 * hp2.paso(float(n)) * caida_exp(s, 0.6) * subida(s, 0.001);
        } else if (t == "tom") {
            const double f = tono * (90 + 50 * caida_exp(s, 0.05));
            fase += f / FRECUENCIA;
            v = std::sin(DOS_PI * fase) * caida_exp(s, 0.2) + 0.15 * lp.paso(float(n)) * caida_exp(s, 0.01);
        }
        m.datos[i] = float(v);
    }
    suavizar_extremos(m.datos, 0, 0.01);
    normalizar(m.datos, 0.9);
    m.relajacion = 0.05;
    return m;
}

Muestra sintetizar(const Partitura &p, const Instrumento &ins)
{
    Muestra m;
    // Integer pitches for the additive kinds; the octave the instrument is
    // played around.
    const double base = ins.valor("base", 3);
    const double f_entera = std::round(DO4 * std::pow(2.0, base - 4));
    if (ins.tipo == "pad") {
        m = aditivo(ins, f_entera, 0);
        m.ataque = 0.35;
        m.relajacion = 0.9;
    } else if (ins.tipo == "sierra" || ins.tipo == "bajo") {
        m = aditivo(ins, f_entera, 0);
        m.decaimiento = 0.3;
        m.sostenido = 0.7;
    } else if (ins.tipo == "cuadrada") {
        m = aditivo(ins, f_entera, 1);
        m.decaimiento = 0.4;
        m.sostenido = 0.75;
    } else if (ins.tipo == "suave") {
        m = aditivo(ins, f_entera, 2);
    } else if (ins.tipo == "organo") {
        m = aditivo(ins, f_entera, 3);
    } else if (ins.tipo == "fm") {
        m = fm(ins, DO4 * std::pow(2.0, base - 4));
    } else if (ins.tipo == "pulsado") {
        m = pulsado(ins, DO4 * std::pow(2.0, base - 4));
    } else if (ins.tipo == "bombo" || ins.tipo == "caja" || ins.tipo == "palmas" || ins.tipo == "charles" ||
               ins.tipo == "abierto" || ins.tipo == "platillo" || ins.tipo == "tom" || ins.tipo == "maraca") {
        m = bateria(ins);
    } else {
        fallar(p, ins.linea, "unknown instrument kind " + ins.tipo);
    }
    m.ataque = ins.valor("ataque", m.ataque);
    m.decaimiento = ins.valor("decaimiento", m.decaimiento);
    m.sostenido = ins.valor("sostenido", m.sostenido);
    m.relajacion = ins.valor("relajacion", m.relajacion);
    m.volumen = int(ins.valor("volumen", 48));
    m.panorama = int(ins.valor("panorama", 128));
    m.vibrato_profundidad = int(ins.valor("vibrato", 0));
    m.vibrato_velocidad = int(ins.valor("vibrato_velocidad", 10));
    if (m.volumen < 0 || m.volumen > 64 || m.panorama < 0 || m.panorama > 255)
        fallar(p, ins.linea, "volumen is 0 to 64 and panorama 0 to 255");
    return m;
}

// ---------------------------------------------------------------------------
// XM writer
// ---------------------------------------------------------------------------

void p8(std::vector<uint8_t> &v, int n)
{
    v.push_back(uint8_t(n));
}
void p16(std::vector<uint8_t> &v, int n)
{
    p8(v, n & 0xFF);
    p8(v, (n >> 8) & 0xFF);
}
void p32(std::vector<uint8_t> &v, uint32_t n)
{
    p16(v, int(n & 0xFFFF));
    p16(v, int(n >> 16));
}
void texto(std::vector<uint8_t> &v, const std::string &s, size_t largo)
{
    for (size_t i = 0; i < largo; ++i)
        p8(v, i < s.size() ? s[i] : 0);
}

// Envelope points are in ticks of the song's tempo.
int ticks(double segundos, int tempo)
{
    return std::max(0, int(std::lround(segundos * tempo / 2.5)));
}

void escribir_instrumento(std::vector<uint8_t> &v, const std::string &nombre, const Muestra &m, int tempo)
{
    p32(v, 263);
    texto(v, nombre, 22);
    p8(v, 0);
    p16(v, 1);
    p32(v, 40);
    for (int i = 0; i < 96; ++i)
        p8(v, 0); // every note plays sample 0
    // Volume envelope: rise, fall to the held level (held while the key is
    // down), then release to silence.
    std::vector<std::pair<int, int>> puntos;
    int x = 0;
    int sostener = 0;
    if (m.ataque > 0) {
        puntos.push_back({0, 0});
        x = std::max(1, ticks(m.ataque, tempo));
    }
    puntos.push_back({x, 64});
    if (m.decaimiento > 0 && m.sostenido < 1) {
        x += std::max(1, ticks(m.decaimiento, tempo));
        puntos.push_back({x, int(std::lround(64 * m.sostenido))});
    }
    sostener = int(puntos.size()) - 1;
    x += std::max(1, ticks(m.relajacion, tempo));
    puntos.push_back({x, 0});
    for (size_t i = 0; i < 12; ++i) {
        p16(v, i < puntos.size() ? puntos[i].first : 0);
        p16(v, i < puntos.size() ? puntos[i].second : 0);
    }
    for (int i = 0; i < 12; ++i)
        p32(v, 0); // no panning envelope
    p8(v, int(puntos.size()));
    p8(v, 0);
    p8(v, sostener);
    p8(v, 0);
    p8(v, 0);
    p8(v, 0);
    p8(v, 0);
    p8(v, 0);
    p8(v, 1 | 2); // volume envelope on, with its sustain point
    p8(v, 0);
    p8(v, 0);                       // vibrato: sine
    p8(v, 0);                       // sweep
    p8(v, m.vibrato_profundidad);   // depth
    p8(v, m.vibrato_velocidad);     // rate
    p16(v, 0);                      // fadeout
    for (int i = 0; i < 22; ++i)
        p8(v, 0);

    // Pitch: at C-4 the sample must sound at middle C, whatever its own
    // pitch; XM plays C-4 at 8363 Hz shifted by these two.
    const double desplazamiento = 12 * std::log2(double(FRECUENCIA) * DO4 / (m.frecuencia * 8363.0));
    int relativa = int(std::lround(desplazamiento));
    int fina = int(std::lround((desplazamiento - relativa) * 128));
    fina = std::clamp(fina, -128, 127);
    const std::vector<int16_t> pcm = a_pcm16(m.datos);
    p32(v, uint32_t(pcm.size() * 2));
    p32(v, uint32_t(m.bucle_inicio * 2));
    p32(v, uint32_t(m.bucle_largo * 2));
    p8(v, m.volumen);
    p8(v, fina & 0xFF);
    p8(v, (m.bucle_largo ? 1 : 0) | 0x10);
    p8(v, m.panorama);
    p8(v, relativa & 0xFF);
    p8(v, 0);
    texto(v, nombre, 22);
    int16_t previo = 0;
    for (const int16_t s : pcm) {
        p16(v, uint16_t(int16_t(s - previo)));
        previo = s;
    }
}

std::vector<uint8_t> escribir_xm(const Partitura &p, const std::vector<Muestra> &muestras, const Rejilla &todo,
                                 const std::vector<int> &inicios, int canales, int volumen_global)
{
    std::vector<uint8_t> v;
    texto(v, "Extended Module: ", 17);
    texto(v, p.titulo, 20);
    p8(v, 0x1A);
    texto(v, "fotonauta generador", 20);
    p16(v, 0x0104);
    p32(v, 276);
    p16(v, int(p.orden.size()));
    p16(v, p.bucle);
    p16(v, canales);
    p16(v, int(p.orden.size())); // one pattern for each position
    p16(v, int(muestras.size()));
    p16(v, 1); // linear frequencies
    p16(v, 6); // ticks per row
    p16(v, p.tempo_xm);
    for (int i = 0; i < 256; ++i)
        p8(v, i < int(p.orden.size()) ? i : 0);
    for (size_t o = 0; o < p.orden.size(); ++o) {
        const int desde = inicios[o];
        const int hasta = o + 1 < inicios.size() ? inicios[o + 1] : int(todo.size());
        std::vector<uint8_t> datos;
        for (int f = desde; f < hasta; ++f) {
            for (int c = 0; c < canales; ++c) {
                Celda celda = todo[size_t(f)][size_t(c)];
                // The last channel carries the piece's global volume, set at
                // the top of every pattern so any position starts right.
                if (c == canales - 1 && f == desde) {
                    celda.efecto = 0x10;
                    celda.parametro = volumen_global;
                }
                uint8_t mascara = 0x80;
                if (celda.nota)
                    mascara |= 1;
                if (celda.instrumento && celda.nota != NOTA_OFF)
                    mascara |= 2;
                if (celda.volumen >= 0 && celda.nota != NOTA_OFF)
                    mascara |= 4;
                if (celda.efecto || celda.parametro)
                    mascara |= 8 | 16;
                datos.push_back(mascara);
                if (mascara & 1)
                    datos.push_back(uint8_t(celda.nota));
                if (mascara & 2)
                    datos.push_back(uint8_t(celda.instrumento));
                if (mascara & 4)
                    datos.push_back(uint8_t(0x10 + celda.volumen));
                if (mascara & 8)
                    datos.push_back(uint8_t(celda.efecto));
                if (mascara & 16)
                    datos.push_back(uint8_t(celda.parametro));
            }
        }
        p32(v, 9);
        p8(v, 0);
        p16(v, hasta - desde);
        p16(v, int(datos.size()));
        v.insert(v.end(), datos.begin(), datos.end());
    }
    for (size_t i = 0; i < muestras.size(); ++i)
        escribir_instrumento(v, p.instrumentos[i].nombre, muestras[i], p.tempo_xm);
    return v;
}

// One pass of the piece rendered as the game's decoder renders it.
struct Medida {
    double segundos = 0, rms = 0, pico = 0;
};

Medida medir(const std::vector<uint8_t> &xm)
{
    Medida m;
    openmpt_module *mod = openmpt_module_create_from_memory2(xm.data(), xm.size(), openmpt_log_func_silent, nullptr,
                                                             openmpt_error_func_ignore, nullptr, nullptr, nullptr,
                                                             nullptr);
    if (!mod)
        throw Fallo{"libopenmpt cannot read the module just written"};
    std::vector<float> buf(2 * 4096);
    double suma = 0;
    size_t total = 0;
    for (;;) {
        const size_t n = openmpt_module_read_interleaved_float_stereo(mod, FRECUENCIA, 4096, buf.data());
        if (n == 0)
            break;
        for (size_t i = 0; i < 2 * n; ++i) {
            suma += double(buf[i]) * buf[i];
            m.pico = std::max(m.pico, double(std::fabs(buf[i])));
        }
        total += n;
    }
    openmpt_module_destroy(mod);
    m.segundos = double(total) / FRECUENCIA;
    m.rms = total ? std::sqrt(suma / double(2 * total)) : 0;
    return m;
}

std::vector<uint8_t> compilar(Partitura &p)
{
    int canales = 0;
    for (Voz &v : p.voces) {
        v.primer_canal = canales;
        canales += v.canales * (v.eco_pasos > 0 ? 2 : 1);
    }
    canales += 1; // the control channel
    canales += canales % 2;
    if (canales > 32)
        throw Fallo{p.fichero + ": more than 32 channels"};
    std::vector<int> inicios;
    const Rejilla todo = desplegar(p, canales, inicios);
    std::vector<Muestra> muestras;
    for (const Instrumento &ins : p.instrumentos)
        muestras.push_back(sintetizar(p, ins));

    // Level: render at full global volume, then set the global volume that
    // brings the piece to the common loudness, or as near as the peak
    // allows; check the result by rendering again.
    const Medida plena = medir(escribir_xm(p, muestras, todo, inicios, canales, 64));
    const double ganancia = std::min(RMS_MUSICA / plena.rms, PICO_MUSICA / plena.pico);
    if (ganancia > 1.0)
        throw Fallo{p.fichero + ": too quiet even at full global volume (RMS " + std::to_string(plena.rms) +
                    "); raise the instruments' volumes"};
    const int global = std::clamp(int(std::floor(64 * ganancia)), 1, 64);
    std::vector<uint8_t> xm = escribir_xm(p, muestras, todo, inicios, canales, global);
    const Medida final_ = medir(xm);
    std::printf("generador: %s: %.1f s, RMS %.3f, peak %.3f, global volume %d\n", p.fichero.c_str(), final_.segundos,
                final_.rms, final_.pico, global);
    if (final_.pico > PICO_MUSICA + 0.02)
        throw Fallo{p.fichero + ": peaks at " + std::to_string(final_.pico) + " after levelling"};
    return xm;
}

} // namespace

bool generar_musica(const std::string &partituras, const std::string &carpeta, std::string &error)
{
    std::vector<ObjetoDat> objetos;
    try {
        for (const char *fichero : PARTITURAS) {
            Partitura p = leer_partitura(partituras + "/" + fichero, fichero);
            const std::string base = std::string(fichero).substr(0, std::string(fichero).find('.'));
            std::string nombre = "MUSICA_" + base;
            std::transform(nombre.begin(), nombre.end(), nombre.begin(), ::toupper);
            objetos.push_back({DAT_ID_DATOS, nombre, compilar(p)});
            // The module on its own too, to open in a tracker.
            const std::vector<uint8_t> &xm = objetos.back().datos;
            const std::string ruta = carpeta + base + ".xm";
            std::FILE *f = std::fopen(ruta.c_str(), "wb");
            const bool escrito = f && std::fwrite(xm.data(), 1, xm.size(), f) == xm.size();
            if (!f || std::fclose(f) != 0 || !escrito)
                throw Fallo{"cannot write " + ruta};
        }
    } catch (const Fallo &f) {
        error = f.texto;
        return false;
    }
    return escribir_datafile(carpeta + "msc.dat", objetos, error);
}
