// The level being edited: its palette of elements, what each byte holds,
// the document with its undo and redo, and the one edit operation every
// change goes through. Nothing here draws or reads the input.
#include <cstring>

#include "editor/editor.h"

// An emitter opening right towards a receiver opening left, a mirror at
// angle 2, whole walls.
const uint8_t VARIANTE_INICIAL[NUM_ELEMENTOS] = {0, 0, 3, 1, 2, 0, 15, 15, 0, 0, 0, 0, 0, 0, 0};

const std::string &en_lengua(const frase &f, bool espanol)
{
  return espanol ? f.es : f.en;
}

uint8_t girar_byte(uint8_t b, int pasos)
{
  int v = 0;
  const int e = elemento_de_byte(b, &v);
  if (e < 0) {
    return b;
  }
  const elemento_nivel &p = ELEMENTOS[e];
  const int n = p.variantes - p.minimo;
  const int girado = ((v - p.minimo + pasos) % n + n) % n + p.minimo;
  return byte_de_elemento(e, girado);
}

bool al_azar_al_empezar(uint8_t b)
{
  // The game's loader gives every plain mirror a random angle, and the
  // level's start scrambles them again; a self-turning one starts at its
  // byte's angle.
  return elemento_de_byte(b) == ELEMENTO_ESPEJO;
}

namespace {

// The four polarisers, one after the other in the palette, and the fibre.
constexpr int PRIMER_POLARIZADOR = ELEMENTO_POLARIZADOR_REFLECTANTE;
constexpr int ULTIMO_POLARIZADOR = ELEMENTO_POLARIZADOR_ABSORBENTE_GIRATORIO;
constexpr int ELEMENTO_FIBRA = ELEMENTO_FOPTICA;

// The sides an emitter or receiver opens to, by variant.
const char *const LADOS[2][4] = {{"abajo", "a la izquierda", "arriba", "a la derecha"},
                                 {"down", "left", "up", "right"}};
const char *const CUARTOS[2][4] = {{"arriba a la izquierda", "arriba a la derecha", "abajo a la derecha",
                                    "abajo a la izquierda"},
                                   {"top left", "top right", "bottom right", "bottom left"}};

}  // namespace

std::string describir_byte(uint8_t b, bool espanol)
{
  int v = 0;
  const int e = elemento_de_byte(b, &v);
  if (e < 0) {
    return "?";
  }
  const int i = espanol ? 0 : 1;
  std::string t = ELEMENTOS[e].nombre[i];
  switch (e) {
  case ELEMENTO_EMISOR:
  case ELEMENTO_RECEPTOR:
    t += espanol ? std::string(", abierto ") + LADOS[0][v] : std::string(", opening ") + LADOS[1][v];
    break;
  case ELEMENTO_ESPEJO:
    t += (espanol ? ", \xE1ngulo " : ", angle ") + std::to_string(v) + (espanol ? " de 16" : " of 16");
    t += espanol ? " (el juego lo gira al azar al empezar)" : " (the game turns it at random at each start)";
    break;
  case ELEMENTO_ESPEJO_GIRATORIO:
    t += (espanol ? ", empieza en el \xE1ngulo " : ", starting at angle ") + std::to_string(v) +
         (espanol ? " de 16" : " of 16");
    break;
  case ELEMENTO_MURO:
  case ELEMENTO_MURO_REFLECTANTE: {
    if (v == 15) {
      t += espanol ? ", entero" : ", whole";
      break;
    }
    std::string cuartos;
    for (int k = 0; k < 4; ++k) {
      if (v & (1 << k)) {
        cuartos += (cuartos.empty() ? "" : ", ") + std::string(CUARTOS[i][k]);
      }
    }
    t += ": " + cuartos;
    break;
  }
  case PRIMER_POLARIZADOR:
  case PRIMER_POLARIZADOR + 1:
  case PRIMER_POLARIZADOR + 2:
  case ULTIMO_POLARIZADOR:
    t += (espanol ? ", eje " : ", axis ") + std::to_string(v) + (espanol ? " de 8" : " of 8");
    break;
  case ELEMENTO_FIBRA:
    t += (espanol ? ", pareja " : ", pair ") + std::to_string(v);
    break;
  default:
    break;
  }
  return t;
}

uint8_t voltear_byte(uint8_t b, bool horizontal)
{
  int v = 0;
  const int e = elemento_de_byte(b, &v);
  switch (e) {
  case ELEMENTO_EMISOR:
  case ELEMENTO_RECEPTOR:
    // Sides: 0 down, 1 left, 2 up, 3 right.
    if (horizontal ? v % 2 == 1 : v % 2 == 0) {
      v ^= 2;
    }
    break;
  case ELEMENTO_ESPEJO:
  case ELEMENTO_ESPEJO_GIRATORIO:
    // A mirror at m sends a beam going d to m - d (directions clockwise
    // from up, in sixteenths). Either flip sends d to -d (or 8 - d), and
    // the mirror that keeps every reflection seen in the flip is -m.
    v = (16 - v) % 16;
    break;
  case ELEMENTO_MURO:
  case ELEMENTO_MURO_REFLECTANTE: {
    // The quarters change places in pairs.
    auto cambiar = [&v](int p, int q) {
      const bool en_p = (v & p) != 0, en_q = (v & q) != 0;
      v &= ~(p | q);
      v |= (en_p ? q : 0) | (en_q ? p : 0);
    };
    if (horizontal) {
      cambiar(CUARTO_ARRIBA_IZQUIERDA, CUARTO_ARRIBA_DERECHA);
      cambiar(CUARTO_ABAJO_IZQUIERDA, CUARTO_ABAJO_DERECHA);
    } else {
      cambiar(CUARTO_ARRIBA_IZQUIERDA, CUARTO_ABAJO_IZQUIERDA);
      cambiar(CUARTO_ARRIBA_DERECHA, CUARTO_ABAJO_DERECHA);
    }
    break;
  }
  case PRIMER_POLARIZADOR:
  case PRIMER_POLARIZADOR + 1:
  case PRIMER_POLARIZADOR + 2:
  case ULTIMO_POLARIZADOR:
    // A polariser lets through the beam along its axis, a direction taken
    // modulo eight: the flip sends it to -axis.
    v = (8 - v) % 8;
    break;
  default:
    return b;
  }
  return byte_de_elemento(e, v);
}

uint8_t cuarto_en(int x, int y)
{
  const bool derecha = x >= LADO_CELDA / 2, abajo = y >= LADO_CELDA / 2;
  return abajo ? (derecha ? CUARTO_ABAJO_DERECHA : CUARTO_ABAJO_IZQUIERDA)
               : (derecha ? CUARTO_ARRIBA_DERECHA : CUARTO_ARRIBA_IZQUIERDA);
}

// ---------------------------------------------------------------------------
// The document and its history
// ---------------------------------------------------------------------------

bool niveles_iguales(const nivel_texto &a, const nivel_texto &b)
{
  return a.titulo == b.titulo && a.idea == b.idea && a.gremlins == b.gremlins &&
         memcmp(a.bytes, b.bytes, NUM_CELDAS) == 0;
}

void empezar_documento(documento &d, const nivel_texto &nivel, const std::string &ruta, const nivel_texto &guardado)
{
  d.nivel = nivel;
  d.guardado = guardado;
  d.ruta = ruta;
  d.deshacer.clear();
  d.rehacer.clear();
  d.abiertas = 0;
  d.fusionable = false;
  ++d.revision;
}

bool modificado(const documento &d)
{
  return !niveles_iguales(d.nivel, d.guardado);
}

void marcar_guardado(documento &d)
{
  d.guardado = d.nivel;
}

uint32_t nuevo_grupo(documento &d)
{
  // Above the groups of cells and of moves.
  d.ultimo_grupo = d.ultimo_grupo < 2 * GRUPO_MOVER ? 2 * GRUPO_MOVER : d.ultimo_grupo + 1;
  return d.ultimo_grupo;
}

uint32_t grupo_de_celda(int celda)
{
  return static_cast<uint32_t>(1 + celda);
}

edicion::edicion(documento &d, const frase &que, uint32_t grupo, int64_t instante, int64_t plazo) : doc(d)
{
  if (d.abiertas++ > 0) {
    return;
  }
  d.antes = d.nivel;
  d.que = que;
  d.grupo = grupo;
  d.instante = instante;
  d.plazo = plazo;
}

edicion::~edicion()
{
  documento &d = doc;
  if (--d.abiertas > 0 || niveles_iguales(d.antes, d.nivel)) {
    return;
  }
  ++d.revision;
  d.rehacer.clear();
  paso_historial *ultimo = d.deshacer.empty() ? nullptr : &d.deshacer.back();
  if (ultimo != nullptr && d.fusionable && d.grupo != SIN_GRUPO && ultimo->grupo == d.grupo &&
      (d.plazo < 0 || d.instante - ultimo->instante <= d.plazo)) {
    ultimo->instante = d.instante;
    if (niveles_iguales(ultimo->nivel, d.nivel)) {
      // Turned all the way round: the step is no step.
      d.deshacer.pop_back();
    }
  } else {
    d.deshacer.push_back({d.antes, d.que, d.grupo, d.instante});
  }
  d.fusionable = true;
}

namespace {

bool paso_atras(std::vector<paso_historial> &de, std::vector<paso_historial> &a, documento &d, frase &que)
{
  if (de.empty() || d.abiertas > 0) {
    return false;
  }
  paso_historial paso = std::move(de.back());
  de.pop_back();
  que = paso.que;
  std::swap(paso.nivel, d.nivel);
  a.push_back(std::move(paso));
  ++d.revision;
  // What comes next is a new step, whatever its group.
  d.fusionable = false;
  return true;
}

}  // namespace

bool deshacer(documento &d, frase &que)
{
  return paso_atras(d.deshacer, d.rehacer, d, que);
}

bool rehacer(documento &d, frase &que)
{
  return paso_atras(d.rehacer, d.deshacer, d, que);
}
