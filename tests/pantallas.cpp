// Every button of every screen in its place with its captions in both
// languages; the pause and the "are you sure?" box, driven by a scripted
// mouse, at both colour depths.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "arnes/arnes.h"
#include "dlg/dlg.h"
#include "juego/juego.h"

namespace {

// A large button where the screens' designs place it, with its captions.
struct grande {
  int8_t dialogo;
  int x, y;
  accion_boton accion;
  const char *es, *en;
};

const grande GRANDES[] = {
    {DLG_MENU, 6, 676, juego, "Jugar", "Play"},
    {DLG_MENU, 210, 676, juego, "Trainer", "Trainer"},
    {DLG_MENU, 414, 676, puntuaciones, "Records", "Scores"},
    {DLG_MENU, 618, 676, opciones, "Config.", "Options"},
    {DLG_MENU, 822, 676, salir, "Salir", "Exit"},
    {DLG_JUEGO, 30, 645, pausa, "Pausa", "Pause"},
    {DLG_JUEGO, 30, 707, salir, "Salir", "Exit"},
    {DLG_SI_NO, 308, 336, si_no, "Si", "Yes"},
    {DLG_SI_NO, 520, 336, si_no, "No", "No"},
    {DLG_FIN, 30, 676, si_no, "Salir", "Exit"},
};

class Pantallas : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override
  {
    arnes_iniciar(GetParam());
    srand(3);
    idioma = IDIOMA_ESPANOL;
    escala_elegida = ESCALA_AUTO;
    ini_dialogos();
    dlg_reiniciar_raton();
  }
  void TearDown() override
  {
    destroy_bitmap(marcador);
    marcador = nullptr;
    arnes_terminar();
  }

  static const t_boton &de(int8_t dialogo, int8_t indice)
  {
    for (const t_boton &b : boton) {
      if (b.dialogo == dialogo && b.indice == indice) {
        return b;
      }
    }
    ADD_FAILURE() << "no button " << int{indice} << " in dialog " << int{dialogo};
    return boton[0];
  }
  static std::string texto(int8_t d, int8_t i) { return de(d, i).texto; }
  // The middle of a button's mask.
  static int cx(int8_t d, int8_t i) { return de(d, i).x[IMAGEN_MASCARA] + de(d, i).imagen[IMAGEN_MASCARA]->w / 2; }
  static int cy(int8_t d, int8_t i) { return de(d, i).y[IMAGEN_MASCARA] + de(d, i).imagen[IMAGEN_MASCARA]->h / 2; }

  // Checks every button against the designs, in table order, in the
  // current language; `vacios`: before any caption is set.
  static void comprobar_disposicion(bool vacios)
  {
    const bool es = idioma == IDIOMA_ESPANOL;
    int n = 0;
    const auto es_grande = [&](const grande &g) {
      const t_boton &b = boton[n++];
      EXPECT_EQ(b.dialogo, g.dialogo) << n;
      EXPECT_EQ(b.x[3], g.x) << n;
      EXPECT_EQ(b.y[3], g.y) << n;
      EXPECT_EQ(b.accion, g.accion) << n;
      EXPECT_STREQ(b.texto, vacios ? "" : es ? g.es : g.en) << n;
      EXPECT_TRUE(b.imagen[3] == mapa_boton[0] && b.imagen[0] == mapa_boton[1] && b.imagen[1] == mapa_boton[2] &&
                  b.imagen[2] == mapa_boton[3] && b.fuente == 0)
          << n;
    };
    const auto es_loseta = [&](int8_t d, int x, int y, accion_boton a, const char *t) {
      const t_boton &b = boton[n++];
      EXPECT_EQ(b.dialogo, d) << n;
      EXPECT_EQ(b.x[3], x) << n;
      EXPECT_EQ(b.y[3], y) << n;
      EXPECT_EQ(b.accion, a) << n;
      EXPECT_STREQ(b.texto, t) << n;
      EXPECT_TRUE(b.imagen[3] == loseta[0] && b.imagen[0] == nullptr && b.imagen[1] == loseta[47] &&
                  b.imagen[2] == loseta[47] && b.fuente == 1)
          << n;
    };
    for (const grande &g : GRANDES) {
      es_grande(g);
    }
    for (int k = 0; k < 60; ++k) {
      const char numero[] = {char('0' + (k + 1) / 10), char('0' + (k + 1) % 10), 0};
      es_loseta(DLG_NIVELES, 48 + 96 * (k % 10), 192 + 64 * (k / 10), si_no, numero);
    }
    const char *volumen[] = {"--", "-", "+", "++"};
    const int xs[] = {288, 352, 608, 672};
    for (int i = 0; i < 8; ++i) {
      es_loseta(DLG_OPCIONES, xs[i % 4], i < 4 ? 160 : 352, i < 4 ? modif_volson : modif_volmus, volumen[i % 4]);
    }
    es_grande({DLG_OPCIONES, 416, 676, si_no, "Salir", "Exit"});
    es_grande({DLG_OPCIONES, 582, 484, cambiar_idioma, "English", "Espa\xF1ol"});
    es_grande({DLG_RECORDS, 210, 676, enviar_puntuaciones, "Enviar", "Upload"});
    es_grande({DLG_RECORDS, 618, 676, si_no, "Salir", "Exit"});
    es_loseta(DLG_TECLADO, 608, 384, si_no, vacios ? "" : es ? "brr" : "del");
    es_loseta(DLG_TECLADO, 736, 384, si_no, vacios ? "" : es ? "fin" : "end");
    es_loseta(DLG_TECLADO, 480, 384, si_no, vacios ? "" : es ? "esp" : "spc");
    const char letras[] = "0123456789a\xE1" "bcde\xE9" "fghi\xED" "jklmn\xF1" "o\xF3" "pqrstu\xFA" "vwxyz";
    for (int j = 0; j < 42; ++j) {
      const char letra[] = {letras[j], 0};
      es_loseta(DLG_TECLADO, 192 + 64 * (j % 10), 128 + 64 * (j / 10), si_no, letra);
    }
    es_grande({DLG_ENVIO, 416, 676, si_no, "Salir", "Exit"});
    // Added last, so every other button keeps its place in the table.
    es_grande({DLG_OPCIONES, 822, 676, cambiar_escala, "Escala: auto", "Scale: auto"});
    EXPECT_EQ(de(DLG_OPCIONES, 10).accion, cambiar_escala);
    EXPECT_EQ(n, MAX_BOTONES);
  }
};

TEST_P(Pantallas, TodosLosBotonesEnSuSitioYSuIdioma)
{
  EXPECT_EQ(botones_usados, MAX_BOTONES);
  comprobar_disposicion(true);
  for (const int8_t i : {IDIOMA_INGLES, IDIOMA_ESPANOL}) {
    idioma = i;
    colocar_texto_botones();
    comprobar_disposicion(false);
  }
  EXPECT_EQ(tipo_fuente[0].fuente, static_cast<FONT *>(f_fnt[FNT_BOTONES].dat));
  EXPECT_EQ(tipo_fuente[0].desplazamiento, -8);
  EXPECT_EQ(tipo_fuente[1].fuente, fuente_texto());
  EXPECT_EQ(tipo_fuente[1].desplazamiento, -16);

  // Each one answers the mouse at its middle at this colour depth; the
  // large buttons' cut corners are not theirs.
  for (int n = 0; n < MAX_BOTONES; ++n) {
    dlg_apilar_dialogo(boton[n].dialogo);
    arnes_raton(cx(boton[n].dialogo, boton[n].indice), cy(boton[n].dialogo, boton[n].indice), 0);
    dlg_comprobar(nullptr);
    dlg_comprobar(nullptr);
    EXPECT_EQ(boton[n].estado, BOTON_ENCIMA) << n;
    dlg_desapilar_dialogo();
  }
  dlg_apilar_dialogo(DLG_MENU);
  arnes_raton(6, 676, 0);
  dlg_comprobar(nullptr);
  EXPECT_EQ(boton[0].estado, BOTON_NORMAL);
}

TEST_P(Pantallas, ElBotonDeIdiomaNombraElOtro)
{
  colocar_texto_botones();
  dlg_apilar_dialogo(DLG_OPCIONES);
  for (const char *nombre : {"Espa\xF1ol", "English"}) {
    for (const int b : {0, 1, 0}) {
      arnes_raton(cx(DLG_OPCIONES, 9), cy(DLG_OPCIONES, 9), b);
      EXPECT_EQ(dlg_comprobar(buffer), DLG_NADA);
    }
    EXPECT_EQ(texto(DLG_OPCIONES, 9), nombre);
  }
  EXPECT_EQ(idioma, IDIOMA_ESPANOL);
  // Any other value reads as English: Spanish is next.
  idioma = 5;
  cambiar_idioma(9);
  EXPECT_EQ(idioma, IDIOMA_ESPANOL);
}

// One scripted frame: the mouse for the next check of whichever loop runs,
// and a look at the screen first. A loop that ends on a click takes one
// more frame, the one shown after the click.
struct paso {
  int x, y, botones;
  std::function<void()> mirar = nullptr;
};

void guion(std::vector<paso> pasos)
{
  const int n = static_cast<int>(pasos.size());
  arnes_guion(
      [pasos = std::move(pasos)](int f) {
        if (pasos[f].mirar) {
          pasos[f].mirar();
        }
        arnes_raton(pasos[f].x, pasos[f].y, pasos[f].botones);
      },
      n);
}

class Pausa : public Pantallas {
 protected:
  void SetUp() override
  {
    Pantallas::SetUp();
    colocar_texto_botones();
    // A board, and the status strip's floor under the panel.
    cargar_nivel(3);
    dibujar_mapa(0, buffer);
    marcador = create_bitmap(ANCHO_PANTALLA, 128);
    for (int x = 0; x < ANCHO_PANTALLA; x += 64) {
      blit(loseta[80 + x / 64 % 7], marcador, 0, 0, x, 0, 64, 64);
      blit(loseta[80 + (x / 64 + 3) % 7], marcador, 0, 0, x, 64, 64, 64);
    }
    blit(marcador, buffer, 0, 0, 0, 640, ANCHO_PANTALLA, 128);
    dlg_apilar_dialogo(DLG_JUEGO);
    arnes_raton(0, 0, 0);
    dlg_comprobar(buffer);
  }

  // The game loop's checks as the pause button is clicked, then its paused
  // frames until the game goes on (DLG_NADA) or is left (1).
  static int32_t pausar()
  {
    arnes_raton(px, py, 1);
    dlg_comprobar(buffer);
    arnes_raton(px, py, 0);
    int32_t r = dlg_comprobar(buffer);
    while (r != 1 && juego_en_pausa()) {
      r = fotograma_pausa();
    }
    return r == 1 ? 1 : DLG_NADA;
  }
  std::function<void()> captura(const char *nombre)
  {
    return [this, nombre] { arnes_captura(nombre + std::to_string(GetParam())); };
  }
  static std::function<void()> espera(const char *t)
  {
    return [t] { EXPECT_EQ(texto(DLG_JUEGO, 0), t); };
  }

  static inline int px = 126, py = 673, sx = 126, sy = 735, six = 404, siy = 364, nox = 616, noy = 364;
};

TEST_P(Pausa, SeguirYSalirDesdeLaPausa)
{
  // Pause, then "Go on".
  idioma = IDIOMA_INGLES;
  colocar_texto_botones();
  sonido_sobrecarga = 2;
  sonido_mina = 3;
  guion({{px, py, 0, espera("Go on")}, {px, py, 1, captura("pausa_en_")}, {px, py, 0}, {px, py, 0}});
  EXPECT_EQ(pausar(), DLG_NADA);
  EXPECT_EQ(texto(DLG_JUEGO, 0), "Pause");
  EXPECT_EQ(sonido_sobrecarga, -1);
  EXPECT_EQ(sonido_mina, -1);

  // Pause, Exit, "No": still paused; "Seguir": the game goes on.
  idioma = IDIOMA_ESPANOL;
  colocar_texto_botones();
  guion({{sx, sy, 1},
         {sx, sy, 0},
         {nox, noy, 1, [] { EXPECT_EQ(pila[cima_pila], DLG_SI_NO); }},
         {nox, noy, 0},
         {px, py, 0, espera("Seguir")},
         {px, py, 1},
         {px, py, 0},
         {px, py, 0}});
  EXPECT_EQ(pausar(), DLG_NADA);
  EXPECT_EQ(arnes_fotogramas(), 8);
  EXPECT_EQ(texto(DLG_JUEGO, 0), "Pausa");

  // Pause, Exit, "Si": the game ends, and the next pause starts afresh.
  guion({{sx, sy, 1}, {sx, sy, 0}, {six, siy, 0}, {six, siy, 1, captura("pausa_salir_")}, {six, siy, 0},
         {six, siy, 0}, {six, siy, 0}});
  EXPECT_EQ(pausar(), 1);
  EXPECT_EQ(texto(DLG_JUEGO, 0), "Pausa");
  EXPECT_EQ(pila[cima_pila], DLG_JUEGO);
  guion({{px, py, 0, espera("Seguir")}, {px, py, 1}, {px, py, 0}, {px, py, 0}});
  EXPECT_EQ(pausar(), DLG_NADA);
}

TEST_P(Pausa, NoDevuelveLaPantallaTalCual)
{
  BITMAP *antes = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  blit(buffer, antes, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
  const auto marco = [] {
    // The frame from the border strips, the corner from the top strip's end.
    EXPECT_EQ(getpixel(buffer, 234, 197), getpixel(borde[0], 10, 5));
    EXPECT_EQ(getpixel(buffer, 784, 197), getpixel(borde[0], borde[0]->w - 16, 5));
    EXPECT_EQ(getpixel(buffer, 229, 292), getpixel(borde[2], 5, 68));
  };
  guion({{nox, noy, 0, marco}, {nox, noy, 1, captura("salir_")}, {nox, noy, 0}, {nox, noy, 0}});
  EXPECT_EQ(salir(1), DLG_NADA);
  EXPECT_EQ(pila[cima_pila], DLG_JUEGO);
  for (int y = 0; y < ALTO_PANTALLA; ++y) {
    for (int x = 0; x < ANCHO_PANTALLA; ++x) {
      ASSERT_EQ(getpixel(buffer, x, y), getpixel(antes, x, y)) << x << "," << y;
    }
  }
  destroy_bitmap(antes);

  // With no memory to save what is under the box, the question is still
  // asked; the box stays until the screen redraws itself.
  dobles.sin_memoria_ancho = 576;
  dobles.sin_memoria_alto = 256;
  guion({{six, siy, 0}, {six, siy, 1}, {six, siy, 0}, {six, siy, 0}});
  EXPECT_EQ(salir(1), 1);
  EXPECT_EQ(getpixel(buffer, 234, 197), getpixel(borde[0], 10, 5));
}

INSTANTIATE_TEST_SUITE_P(Profundidades, Pantallas, ::testing::Values(16, 32));
INSTANTIATE_TEST_SUITE_P(Profundidades, Pausa, ::testing::Values(16, 32));

}  // namespace
