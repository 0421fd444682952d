// The editor's flips against the game's own beam: the flipped board traces
// the mirror image of the beam, through mirrors, polarisers, partial walls
// and fibre optics alike.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "arnes/tablero.h"
#include "editor/editor.h"
#include "juego/juego.h"

namespace {

struct punto {
  int x, y, dir;
  bool operator==(const punto &o) const { return x == o.x && y == o.y && dir == o.dir; }
};

// The beam of a board as the editor shows it: plain mirrors at their
// bytes' angles, targets gone so the whole way shows.
std::vector<punto> trazo(const uint8_t *bytes)
{
  cargar_tablero(bytes, -1);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &k = nucleo.est_nivel[c];
    if (k.tipo == espejo) {
      k.valor = static_cast<uint8_t>(bytes[c] - 16);
    }
    if (k.tipo == detonador) {
      k.valor = DETONADOR_DESTRUIDO;
    }
  }
  calcular_rayo();
  std::vector<punto> p;
  for (int i = 0; i < nucleo.dt_rayo.n_puntos; ++i) {
    p.push_back({nucleo.dt_rayo.punto[i].x, nucleo.dt_rayo.punto[i].y, nucleo.dt_rayo.punto[i].dir});
  }
  return p;
}

TEST(EditorVoltear, ElTableroVolteadoTrazaElReflejoDelRayo)
{
  const std::vector<uint8_t> bytes = bytes_tablero({
      ".. .. .. .. .. .. .. .. .. r4 .. .. .. .. ..",
      ".. .. .. .. .. .. .. m6 q4 m5 f2 .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
      "E3 tt p4 .. m6 .. .. .. .. .. .. .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. f2 ..",
  });
  nivel_texto n;
  memcpy(n.bytes, bytes.data(), NUM_CELDAS);
  const std::vector<punto> antes = trazo(n.bytes);
  std::string camino;
  for (const punto &p : antes) {
    camino += " (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.dir) + ")";
  }
  // The way runs through every kind of piece a flip must turn.
  ASSERT_GE(antes.size(), 8u) << camino;
  for (const bool horizontal : {true, false}) {
    documento d;
    empezar_documento(d, n, "", n);
    voltear(d, TABLERO_ENTERO, horizontal);
    std::vector<punto> esperado;
    for (const punto &p : antes) {
      const int dir = p.dir == DIR_SALTO ? DIR_SALTO : horizontal ? (16 - p.dir) % 16 : (24 - p.dir) % 16;
      esperado.push_back(horizontal ? punto{RAYO_MAX_X - p.x, p.y, dir} : punto{p.x, RAYO_MAX_Y - p.y, dir});
    }
    const std::vector<punto> despues = trazo(d.nivel.bytes);
    ASSERT_EQ(despues.size(), esperado.size()) << (horizontal ? "left to right" : "top to bottom");
    for (size_t i = 0; i < esperado.size(); ++i) {
      EXPECT_TRUE(despues[i] == esperado[i])
          << (horizontal ? "left to right" : "top to bottom") << ", point " << i << ": (" << despues[i].x << ", "
          << despues[i].y << ", " << despues[i].dir << ") instead of (" << esperado[i].x << ", " << esperado[i].y
          << ", " << esperado[i].dir << ")";
    }
  }
}

}  // namespace
