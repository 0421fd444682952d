// The screens around the game, driven by a scripted mouse: the main menu's
// credits and particle backdrop, cfg.dat and its first-run question, the
// options' volume buttons, the starting-level grid and the intro.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "arnes/arnes.h"
#include "arnes/datafile_prueba.h"
#include "audio/audio.h"
#include "dlg/dlg.h"
#include "juego/juego.h"

namespace fs = std::filesystem;

namespace {

const t_boton &boton_de(int8_t dialogo, int8_t indice)
{
  for (int i = 0; i < botones_usados; ++i) {
    if (boton[i].dialogo == dialogo && boton[i].indice == indice) {
      return boton[i];
    }
  }
  ADD_FAILURE() << "no button " << int{indice} << " in dialog " << int{dialogo};
  return boton[0];
}

// A click on a button, spread over three frames from `desde`: the pointer
// comes over it, presses, releases.
struct clic_guion {
  int desde;
  int8_t dialogo, indice;
};

guion_fotogramas guion_clics(std::vector<clic_guion> clics, std::function<void(int)> ademas = {})
{
  return [clics, ademas](int n) {
    for (const clic_guion &c : clics) {
      const int paso = n - c.desde;
      if (paso >= 0 && paso < 3) {
        const t_boton &b = boton_de(c.dialogo, c.indice);
        const BITMAP *m = b.imagen[IMAGEN_MASCARA];
        arnes_raton(b.x[IMAGEN_MASCARA] + m->w / 2, b.y[IMAGEN_MASCARA] + m->h / 2, paso == 1 ? 1 : 0);
      }
    }
    if (ademas) {
      ademas(n);
    }
  };
}

// True when every pixel of `texto`, centred on x with its top at y, shows
// in `buffer` as the font draws it.
bool texto_visible(const char *texto, int x, int y)
{
  BITMAP *ref = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_to_color(ref, 0);
  textout_centre_ex(ref, fuente_texto(), texto, x, y, -1, -1);
  int pintados = 0;
  bool igual = true;
  for (int j = y; j < y + text_height(fuente_texto()) && igual; ++j) {
    for (int i = 0; i < ANCHO_PANTALLA && igual; ++i) {
      const int c = getpixel(ref, i, j);
      if (c != 0) {
        ++pintados;
        igual = getpixel(buffer, i, j) == c;
      }
    }
  }
  destroy_bitmap(ref);
  return igual && pintados > 0;
}

std::vector<uint8_t> leer_fichero(const char *nombre)
{
  std::ifstream f(nombre, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

void escribir_fichero(const char *nombre, const std::vector<uint8_t> &bytes)
{
  std::ofstream f(nombre, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Each test runs in a folder of its own, so cfg.dat and intro.dat are the
// test's; the graphics are loaded from the build's data.
class Frontal : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override
  {
    arnes_iniciar(GetParam());
    modo_truecolor = GetParam() == 32 ? 1 : 0;
    ini_audio();
    ini_juego();
    // After ini_juego, which seeds from the clock: the particles' field
    // must be the same on every run.
    srand(5);
    ini_dialogos();
    convertir_base();
    dlg_reiniciar_raton();
    arnes_raton(0, 700, 0);
    idioma = IDIOMA_ESPANOL;
    volson = volmus = 0;
    ult_fase_completada = 0;
    colocar_texto_botones();
    datos = fs::current_path();
    char plantilla[] = "/tmp/fotonauta-frontal-XXXXXX";
    carpeta = mkdtemp(plantilla);
    fs::current_path(carpeta);
  }
  void TearDown() override
  {
    fs::current_path(datos);
    fs::remove_all(carpeta);
    fin_audio();
    modificar_volmus(0);
    modificar_volson(0, -1);
    arnes_terminar();
  }

  fs::path datos, carpeta;
};

INSTANTIATE_TEST_SUITE_P(Profundidades, Frontal, ::testing::Values(16, 32));

// ---------------------------------------------------------------------------
// Credits and backdrop
// ---------------------------------------------------------------------------

TEST(Creditos, EntranSeQuedanDoscientosDosFotogramasYSalenPaginaTrasPagina)
{
  estado_creditos c{CREDITOS_ENTRANDO, -512, 0, 0};
  for (int pagina = 0; pagina < NUM_PAGINAS_CREDITOS; ++pagina) {
    ASSERT_EQ(c.pagina, pagina);
    int entrando = 0, quietos = 0, saliendo = 0;
    while (c.p != 512) {
      avanzar_creditos(c);
      ++entrando;
    }
    // Standing: the arrival frame, then until an advance moves them off.
    quietos = 1;
    while (c.p == 512) {
      avanzar_creditos(c);
      ++quietos;
    }
    --quietos;
    ++saliendo;
    while (c.fase == CREDITOS_SALIENDO) {
      avanzar_creditos(c);
      ++saliendo;
    }
    EXPECT_EQ(entrando, 32);
    EXPECT_EQ(quietos, 202);
    EXPECT_EQ(saliendo, 32);
    EXPECT_EQ(c.p, -512);
    EXPECT_EQ(c.fase, CREDITOS_ENTRANDO);
  }
  EXPECT_EQ(c.pagina, 0);

  idioma = IDIOMA_ESPANOL;
  EXPECT_STREQ(texto_credito(0, 0), "Pixelgild presenta un juego");
  EXPECT_STREQ(texto_credito(9, 2), "levantado, pero nada m\xE1s");
  idioma = IDIOMA_INGLES;
  EXPECT_STREQ(texto_credito(0, 1), "based on the original by");
  EXPECT_STREQ(texto_credito(6, 0), "thanks to all");
}

TEST_P(Frontal, LasParticulasQueSalenDelCampoVuelvenAlEmisor)
{
  mover_fondo(1);
  EXPECT_EQ(dt_fondo.xc, 512);
  EXPECT_EQ(dt_fondo.yc, 320);
  for (int i = 0; i < NUM_PARTICULAS; ++i) {
    ASSERT_TRUE(dt_fondo.x[i] >= 32 && dt_fondo.x[i] <= 991 && dt_fondo.y[i] >= 32 && dt_fondo.y[i] <= 607) << i;
  }

  // Through each edge: right, down, left, up.
  const struct {
    int16_t x, y;
    int angulo;
  } salidas[] = {{985, 300, 64}, {300, 600, 0}, {36, 300, 192}, {300, 40, 128}};
  for (int i = 0; i < 4; ++i) {
    dt_fondo.x[i] = salidas[i].x;
    dt_fondo.y[i] = salidas[i].y;
    dt_fondo.a[i] = itofix(salidas[i].angulo);
  }
  // One that stays in: ten pixels down.
  dt_fondo.x[4] = 700;
  dt_fondo.y[4] = 500;
  dt_fondo.a[4] = 0;
  mover_fondo(0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(dt_fondo.x[i], 512) << i;
    EXPECT_EQ(dt_fondo.y[i], 320) << i;
  }
  EXPECT_EQ(dt_fondo.x[4], 700);
  EXPECT_EQ(dt_fondo.y[4], 510);
  // Written as a 2 x 2 block in its colour; the restarted ones are hidden.
  for (int dx = 0; dx < 2; ++dx) {
    for (int dy = 0; dy < 2; ++dy) {
      EXPECT_EQ(getpixel(buffer, 700 + dx, 510 + dy), dt_fondo.c[4]);
    }
  }
  // The frame comes from the border pictures.
  EXPECT_EQ(getpixel(buffer, 5, 5), getpixel(borde[0], 5, 5));
  EXPECT_EQ(getpixel(buffer, 5, 620), getpixel(borde[1], 5, 12));
  EXPECT_EQ(getpixel(buffer, 1000, 100), getpixel(borde[3], 8, 68));
}

TEST_P(Frontal, ElEmisorSigueSaltaOSeQuedaSegunElBoton)
{
  mover_fondo(1);
  // No button: at most four pixels on each axis toward the pointer.
  arnes_raton(600, 318, 0);
  mover_fondo(0);
  EXPECT_EQ(dt_fondo.xc, 516);
  EXPECT_EQ(dt_fondo.yc, 318);
  // Left button: straight to the pointer.
  arnes_raton(900, 100, 1);
  mover_fondo(0);
  EXPECT_EQ(dt_fondo.xc, 900);
  EXPECT_EQ(dt_fondo.yc, 100);
  // Right button: frozen.
  arnes_raton(100, 500, 2);
  mover_fondo(0);
  EXPECT_EQ(dt_fondo.xc, 900);
  EXPECT_EQ(dt_fondo.yc, 100);
  // Off the field (the frame, the buttons below) nothing moves it.
  for (const auto &[x, y] : {std::pair{32, 300}, std::pair{500, 609}, std::pair{993, 300}, std::pair{500, 700}}) {
    arnes_raton(x, y, 1);
    mover_fondo(0);
    EXPECT_EQ(dt_fondo.xc, 900) << x << "," << y;
    EXPECT_EQ(dt_fondo.yc, 100) << x << "," << y;
  }
  arnes_raton(992, 608, 1);
  mover_fondo(0);
  EXPECT_EQ(dt_fondo.xc, 992);
  EXPECT_EQ(dt_fondo.yc, 608);
}

// The menu, its options and back, then Exit and "Sí": the language changed
// in the options shows in the menu, and cfg.dat is written on leaving them.
// Scale goes from Auto to 1x (larger ones need a window to fit), kept in
// ajustes.cfg.
TEST_P(Frontal, ElMenuLlevaALasOpcionesYSaleConSi)
{
  volson = 50;
  volmus = 0;
  escala_elegida = ESCALA_AUTO;
  bool vio_creditos = false, vio_ingles = false;
  arnes_guion(guion_clics({{40, DLG_MENU, 3}, {50, DLG_OPCIONES, 9}, {55, DLG_OPCIONES, 10}, {60, DLG_OPCIONES, 1},
                           {70, DLG_OPCIONES, 8}, {90, DLG_MENU, 4}, {100, DLG_SI_NO, 0}},
                          [&](int n) {
                            // Page 0 has just come to a stand in the middle.
                            if (n == 35) {
                              vio_creditos = texto_visible("Pixelgild presenta un juego", 512, 384) &&
                                             texto_visible("basado en el original de", 512, 448) &&
                                             texto_visible("zentrova software (1987)", 512, 512);
                              if (GetParam() == 16) {
                                arnes_captura("menu_principal");
                              }
                            }
                            if (n == 65 && GetParam() == 16) {
                              arnes_captura("opciones");
                            }
                            if (n == 66) {
                              EXPECT_TRUE(texto_visible("sound volume", 512, 112));
                              EXPECT_TRUE(texto_visible("49%", 512, 176));
                              EXPECT_TRUE(texto_visible("00%", 512, 368));
                            }
                            // Back in the menu: the same page, now in English.
                            if (n == 80) {
                              vio_ingles = texto_visible("based on the original by", 512, 448);
                            }
                          }),
              200);
  menu_principal();
  EXPECT_TRUE(vio_creditos);
  EXPECT_TRUE(vio_ingles);
  EXPECT_EQ(cima_pila, -1);
  EXPECT_EQ(idioma, IDIOMA_INGLES);
  EXPECT_STREQ(boton_de(DLG_MENU, 0).texto, "Play");
  EXPECT_EQ(leer_fichero("cfg.dat"), (std::vector<uint8_t>{1, 49, 0, 0}));
  EXPECT_EQ(escala_elegida, 1);
  EXPECT_STREQ(boton_de(DLG_OPCIONES, 10).texto, "Scale: 1x");
  const std::vector<uint8_t> ajustes = leer_fichero("ajustes.cfg");
  EXPECT_EQ(std::string(ajustes.begin(), ajustes.end()), "escala 1\npantalla_completa 0\nentrenador_sugerido 0\n");
  EXPECT_EQ(arnes_fotogramas(), 105);
}

// ---------------------------------------------------------------------------
// cfg.dat
// ---------------------------------------------------------------------------

TEST_P(Frontal, LaPrimeraVezPreguntaElIdiomaYCreaElFichero)
{
  bool botones_de_idioma = false;
  arnes_guion(guion_clics({{2, DLG_SI_NO, 1}}, [&](int n) {
                if (n == 0) {
                  botones_de_idioma = std::string(boton_de(DLG_SI_NO, 0).texto) == "Espa\xF1ol" &&
                                      std::string(boton_de(DLG_SI_NO, 1).texto) == "English";
                  // Only the two buttons on black.
                  EXPECT_EQ(getpixel(buffer, 512, 100), 0);
                  EXPECT_EQ(getpixel(buffer, 100, 700), 0);
                }
              }),
              50);
  leer_cfg();
  EXPECT_TRUE(botones_de_idioma);
  EXPECT_EQ(leer_fichero("cfg.dat"), (std::vector<uint8_t>{1, 100, 100, 0}));
  EXPECT_EQ(idioma, IDIOMA_INGLES);
  EXPECT_EQ(volson, 100);
  EXPECT_EQ(volmus, 100);
  EXPECT_STREQ(boton_de(DLG_SI_NO, 0).texto, "Yes");
  EXPECT_STREQ(boton_de(DLG_MENU, 4).texto, "Exit");
  EXPECT_EQ(cima_pila, -1);
}

TEST_P(Frontal, UnFicheroCortoOFueraDeRangoSeAcotaAlLeerlo)
{
  const struct {
    std::vector<uint8_t> bytes;
    int8_t idioma, volson, volmus, fase;
  } casos[] = {
      {{}, 0, 0, 0, 0},
      {{1}, 1, 0, 0, 0},
      {{1, 40}, 1, 40, 0, 0},
      {{0, 40, 60}, 0, 40, 60, 0},
      {{1, 40, 60, 7}, 1, 40, 60, 7},
      {{1, 40, 60, 7, 9, 9}, 1, 40, 60, 7},
      // Language other than 0 or 1, volumes above 100, level past the last.
      {{2, 101, 255, 60}, 1, 100, 100, 59},
      {{255, 128, 200, 127}, 1, 100, 100, 59},
      // A negative level (byte 128 and up).
      {{0, 0, 100, 255}, 0, 0, 100, 0},
      {{0, 0, 100, 128}, 0, 0, 100, 0},
  };
  for (const auto &c : casos) {
    escribir_fichero("cfg.dat", c.bytes);
    idioma = 1;
    volson = volmus = ult_fase_completada = 33;
    // No question is asked: a screen loop would run past 0 frames.
    arnes_guion({}, 0);
    leer_cfg();
    const std::string caso = ::testing::PrintToString(c.bytes);
    EXPECT_EQ(idioma, c.idioma) << caso;
    EXPECT_EQ(volson, c.volson) << caso;
    EXPECT_EQ(volmus, c.volmus) << caso;
    EXPECT_EQ(ult_fase_completada, c.fase) << caso;
    // Handed to the audio layer as read.
    const uint8_t dado = vol_son;
    modificar_volson(static_cast<uint8_t>(c.volson), -1);
    EXPECT_EQ(dado, vol_son) << caso;
    // Reading never rewrites the file.
    EXPECT_EQ(leer_fichero("cfg.dat"), c.bytes) << caso;
  }
}

TEST_P(Frontal, SinPoderEscribirCfgLosAjustesSiguenEnMemoria)
{
  // A name that can be neither read nor created: its folder does not exist.
  fs::create_symlink("/nonexistent-fotonauta/cfg.dat", "cfg.dat");
  arnes_guion(guion_clics({{2, DLG_SI_NO, 0}}), 50);
  leer_cfg();
  EXPECT_EQ(idioma, IDIOMA_ESPANOL);
  EXPECT_EQ(volson, 100);
  EXPECT_EQ(volmus, 100);

  volson = 5;
  arnes_guion(guion_clics({{2, DLG_OPCIONES, 8}}), 50);
  EXPECT_EQ(opciones(3), DLG_NADA);
  EXPECT_EQ(volson, 5);
  EXPECT_FALSE(fs::exists("/nonexistent-fotonauta"));

  // A folder in the file's place is no settings file either.
  fs::remove("cfg.dat");
  fs::create_directory("cfg.dat");
  arnes_guion(guion_clics({{2, DLG_SI_NO, 1}}), 50);
  leer_cfg();
  EXPECT_EQ(idioma, IDIOMA_INGLES);
  EXPECT_TRUE(fs::is_directory("cfg.dat"));
}

// ---------------------------------------------------------------------------
// Options
// ---------------------------------------------------------------------------

TEST_P(Frontal, LosBotonesDeVolumenSeDetienenEnSusLimites)
{
  // Sound: "--" "-" "+" "++" are 0-3; music: 4-7.
  const struct {
    int8_t inicial, indice, final_;
  } casos[] = {
      {99, 3, 100}, {95, 3, 100}, {100, 3, 100}, {100, 2, 100}, {7, 0, 0},
      {0, 0, 0},    {0, 1, 0},    {0, 2, 1},     {50, 1, 49},   {50, 0, 40},
  };
  for (const auto &c : casos) {
    volson = c.inicial;
    modificar_volson(static_cast<uint8_t>(volson), -1);
    detener_sonidos(1);
    EXPECT_EQ(modif_volson(c.indice), DLG_NADA);
    EXPECT_EQ(volson, c.final_) << int{c.inicial} << " " << int{c.indice};
    // The sample plays whether or not the value moved (at 0 it is silent).
    if (c.final_ > 0) {
      EXPECT_NE(voz[0].estado, VOZ_LIBRE) << int{c.inicial} << " " << int{c.indice};
    }

    volmus = c.inicial;
    EXPECT_EQ(modif_volmus(static_cast<int8_t>(c.indice + 4)), DLG_NADA);
    EXPECT_EQ(volmus, c.final_);
  }
  detener_sonidos(1);
  volmus = 80;
  volson = 0;
  modificar_volson(0, -1);
  modif_volmus(7);
  EXPECT_EQ(volmus, 90);
  EXPECT_EQ(volson, 0);
  // The music row plays no sample.
  EXPECT_EQ(voz[0].estado, VOZ_LIBRE);
}

TEST_P(Frontal, LasOpcionesMuestranLosPorcentajesYGuardanAlSalir)
{
  volson = 5;
  volmus = 100;
  escribir_fichero("cfg.dat", {9, 9, 9, 9});
  bool vistos = false;
  arnes_guion(guion_clics({{2, DLG_OPCIONES, 8}}, [&](int n) {
                if (n == 0) {
                  vistos = texto_visible("05%", 512, 176) && texto_visible("100%", 512, 368) &&
                           texto_visible("volumen de la m\xFAsica", 512, 304);
                }
              }),
              50);
  opciones(3);
  EXPECT_TRUE(vistos);
  // Leaving without a change still writes the file.
  EXPECT_EQ(leer_fichero("cfg.dat"), (std::vector<uint8_t>{0, 5, 100, 0}));
}

// ---------------------------------------------------------------------------
// Starting level
// ---------------------------------------------------------------------------

TEST_P(Frontal, LaRejillaOfreceLasFasesDesbloqueadasYDevuelveLaElegida)
{
  for (int8_t ultima : {int8_t{4}, int8_t{59}, int8_t{1}, int8_t{0}}) {
    ult_fase_completada = ultima;
    int visibles = -1;
    bool titulo = false;
    arnes_guion(guion_clics({{2, DLG_NIVELES, ultima}}, [&](int n) {
                  if (n == 0) {
                    visibles = 0;
                    for (int8_t k = 0; k < 60; ++k) {
                      visibles += boton_de(DLG_NIVELES, k).estado != BOTON_OCULTO;
                    }
                    titulo = texto_visible("selecciona la", 512, 64) && texto_visible("fase de inicio", 512, 128);
                    if (ultima == 4 && GetParam() == 16) {
                      arnes_captura("preguntar_nivel");
                    }
                  }
                }),
                50);
    EXPECT_EQ(preguntar_nivel(), ultima);
    EXPECT_EQ(visibles, ultima + 1);
    EXPECT_TRUE(titulo);
    EXPECT_EQ(cima_pila, -1);
  }
}

// ---------------------------------------------------------------------------
// Intro
// ---------------------------------------------------------------------------

objeto_prueba muestra_prueba()
{
  // 8-bit mono, 11025 Hz, 2000 samples: bits, frequency, length, data.
  objeto_prueba o;
  o.tipo = "SAMP";
  o.datos = {0, 8, 0x2B, 0x11, 0, 0, 0x07, 0xD0};
  o.datos.resize(o.datos.size() + 2000, 0x80);
  return o;
}

TEST_P(Frontal, LaIntroDuraTrescientosNoventaFotogramasSinTocarNada)
{
  ASSERT_TRUE(escribir_datafile_prueba("intro.dat", {bitmap_prueba(400, 300), muestra_prueba()}));
  modificar_volson(100, -1);
  int centro = -1;
  bool sonaba_al_esperar = false, callado_al_salir = true;
  arnes_guion(
      [&](int n) {
        if (n == 0) {
          EXPECT_EQ(getpixel(buffer, 10, 10), makecol(0, 0, 5));
        }
        if (n == 38) {
          EXPECT_EQ(getpixel(buffer, 10, 10), makecol(145, 145, 195));
        }
        if (n == 70) {
          centro = getpixel(buffer, 512, 384);
          EXPECT_EQ(getpixel(buffer, 10, 10), makecol(149, 149, 198));
          sonaba_al_esperar = voz[0].estado != VOZ_LIBRE;
        }
        if (n == 320) {
          callado_al_salir = voz[0].estado == VOZ_LIBRE;
        }
      },
      1000);
  intro();
  EXPECT_EQ(arnes_fotogramas(), 39 + 31 + 250 + 31 + 39);
  EXPECT_NE(centro, makecol(149, 149, 198));
  EXPECT_TRUE(sonaba_al_esperar);
  EXPECT_TRUE(callado_al_salir);
}

TEST_P(Frontal, UnClicDuranteLaEsperaLaAcorta)
{
  ASSERT_TRUE(escribir_datafile_prueba("intro.dat", {bitmap_prueba(400, 300), muestra_prueba()}));
  modificar_volson(100, -1);
  bool callado = false;
  arnes_guion(
      [&](int n) {
        // Held through the fades: they run their length regardless.
        if (n < 70) {
          arnes_raton(500, 500, n > 20 ? 1 : 0);
        } else {
          arnes_raton(500, 500, n == 79 ? 1 : 0);
        }
        if (n == 80) {
          callado = voz[0].estado == VOZ_LIBRE;
        }
      },
      1000);
  intro();
  EXPECT_EQ(arnes_fotogramas(), 39 + 31 + 10 + 31 + 39);
  EXPECT_TRUE(callado);
}

TEST_P(Frontal, SinIntroValidaNoSeMuestraNada)
{
  arnes_guion({}, 0);
  intro();  // no file
  escribir_fichero("intro.dat", {'n', 'o', ' ', 'e', 's', ' ', 'u', 'n', ' ', 'd', 'a', 't'});
  intro();
  ASSERT_TRUE(escribir_datafile_prueba("intro.dat", {bitmap_prueba(40, 30)}));
  intro();
  ASSERT_TRUE(escribir_datafile_prueba("intro.dat", {muestra_prueba(), bitmap_prueba(40, 30)}));
  intro();
  EXPECT_EQ(arnes_fotogramas(), 0);
}

}  // namespace
