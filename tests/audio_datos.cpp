// The generated sound data as the game gets it: every music piece decoded
// by libopenmpt (its length before it repeats, its loudness, no clipping,
// and a seamless loop), the twelve effects and the intro's picture and
// sound, and the levels of effects against the music.
#include <allegro.h>
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string DATOS = FOTONAUTA_DATOS_DIR;
constexpr int HZ = 44100;

using Datos = std::unique_ptr<DATAFILE, decltype(&unload_datafile)>;
Datos cargar(const char *nombre)
{
  if (!system_driver) {
    EXPECT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
  }
  return Datos(load_datafile((DATOS + "/" + nombre).c_str()), unload_datafile);
}

// RMS of the loudest `ventana` seconds of interleaved samples.
double rms_maximo(const std::vector<float> &s, int canales, double ventana)
{
  const size_t n = static_cast<size_t>(ventana * HZ) * static_cast<size_t>(canales);
  double suma = 0, mejor = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    suma += double(s[i]) * s[i];
    if (i >= n) {
      suma -= double(s[i - n]) * s[i - n];
    }
    mejor = std::max(mejor, suma);
  }
  return std::sqrt(mejor / double(std::min(n, s.size())));
}

double rms(const std::vector<float> &s, size_t desde, size_t hasta)
{
  double suma = 0;
  for (size_t i = desde; i < hasta; ++i) {
    suma += double(s[i]) * s[i];
  }
  return std::sqrt(suma / double(hasta - desde));
}

// A decoded piece: one pass and three seconds into its repeat.
struct Pieza {
  double segundos = 0;       // one pass
  double bucle = 0;          // where the repeat starts, seconds
  std::vector<float> audio;  // interleaved stereo
};

Pieza decodificar(const DATAFILE &o)
{
  Pieza p;
  openmpt_module *m = openmpt_module_create_from_memory2(o.dat, size_t(o.size), openmpt_log_func_silent, nullptr,
                                                         openmpt_error_func_ignore, nullptr, nullptr, nullptr,
                                                         nullptr);
  EXPECT_NE(m, nullptr);
  if (m == nullptr) {
    return p;
  }
  // The restart position, from the XM header.
  const auto *xm = static_cast<const uint8_t *>(o.dat);
  const int reinicio = xm[66] | (xm[67] << 8);
  p.segundos = openmpt_module_get_duration_seconds(m);
  p.bucle = openmpt_module_set_position_order_row(m, reinicio, 0);
  openmpt_module_set_position_seconds(m, 0);
  openmpt_module_set_repeat_count(m, -1);
  const size_t total = static_cast<size_t>((p.segundos + 3) * HZ);
  p.audio.resize(2 * total);
  size_t hechos = 0;
  while (hechos < total) {
    const size_t n = openmpt_module_read_interleaved_float_stereo(m, HZ, std::min<size_t>(4096, total - hechos),
                                                                   p.audio.data() + 2 * hechos);
    if (n == 0) {
      break;
    }
    hechos += n;
  }
  EXPECT_EQ(hechos, total) << "the piece stopped instead of repeating";
  openmpt_module_destroy(m);
  return p;
}

std::vector<float> a_float(const SAMPLE *s)
{
  std::vector<float> v(s->len);
  const auto *d = static_cast<const uint16_t *>(s->data);
  for (size_t i = 0; i < v.size(); ++i) {
    v[i] = float(int(d[i]) - 0x8000) / 32768.0f;
  }
  return v;
}

class Musica : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite()
  {
    Datos msc = cargar("msc.dat");
    ASSERT_NE(msc, nullptr);
    for (int i = 0; i < 3; ++i) {
      ASSERT_NE(msc.get()[i].type, DAT_END) << "msc.dat holds fewer than three pieces";
      piezas[i] = decodificar(msc.get()[i]);
    }
    EXPECT_EQ(msc.get()[3].type, DAT_END);
  }
  static Pieza piezas[3];
};
Pieza Musica::piezas[3];

TEST_P(Musica, SuenaAlMenosUnMinutoAntesDeRepetirse)
{
  const Pieza &p = piezas[GetParam()];
  EXPECT_GE(p.bucle, 0.0);
  // Every repeat, not only the first pass, lasts a minute.
  EXPECT_GE(p.segundos - p.bucle, 60.0) << "loop from " << p.bucle << " s to " << p.segundos << " s";
}

TEST_P(Musica, TieneElVolumenComunYNoSatura)
{
  const Pieza &p = piezas[GetParam()];
  const size_t pasada = static_cast<size_t>(p.segundos * HZ) * 2;
  const double r = rms(p.audio, 0, pasada);
  EXPECT_GT(r, 0.09);
  EXPECT_LT(r, 0.14);
  float pico = 0;
  for (const float x : p.audio) {
    pico = std::max(pico, std::fabs(x));
  }
  EXPECT_LT(pico, 0.95f) << "a decibel of headroom below clipping";
}

TEST_P(Musica, ElBucleNoDejaHuecoNiChasquido)
{
  const Pieza &p = piezas[GetParam()];
  const size_t costura = static_cast<size_t>(p.segundos * HZ) * 2;
  const size_t diez_ms = HZ / 100 * 2;
  // No 10 ms around the loop point falls silent...
  for (size_t i = costura - 150 * diez_ms; i + diez_ms < costura + 150 * diez_ms; i += diez_ms) {
    ASSERT_GT(rms(p.audio, i, i + diez_ms), 0.003)
        << "silence " << (double(i) - double(costura)) / (2.0 * HZ) << " s from the loop point";
  }
  // ...the level carries on...
  const double antes = rms(p.audio, costura - 2 * HZ, costura), despues = rms(p.audio, costura, costura + 2 * HZ);
  EXPECT_LT(std::fabs(20 * std::log10(despues / antes)), 10.0);
  // ...and no step between samples at the seam is sharper than the piece's
  // own sharpest of the ten seconds before.
  auto salto_maximo = [&](size_t desde, size_t hasta) {
    float m = 0;
    for (size_t i = desde + 2; i < hasta; ++i) {
      m = std::max(m, std::fabs(p.audio[i] - p.audio[i - 2]));
    }
    return m;
  };
  EXPECT_LE(salto_maximo(costura - 2 * HZ / 20, costura + 2 * HZ / 20),
            salto_maximo(costura - 20 * HZ, costura - 2 * HZ / 20));
}

std::string nombre_pieza(const testing::TestParamInfo<int> &i)
{
  const char *const nombres[] = {"Menu", "NivelPar", "NivelImpar"};
  return nombres[i.param];
}
INSTANTIATE_TEST_SUITE_P(Piezas, Musica, testing::Values(0, 1, 2), nombre_pieza);

TEST(Efectos, SonDoceSamplesQueEmpiezanYAcabanEnSilencio)
{
  Datos snd = cargar("snd.dat");
  ASSERT_NE(snd, nullptr);
  int n = 0;
  for (; snd.get()[n].type != DAT_END; ++n) {
    ASSERT_EQ(snd.get()[n].type, DAT_SAMPLE) << n;
    const auto *s = static_cast<const SAMPLE *>(snd.get()[n].dat);
    EXPECT_EQ(s->bits, 16);
    EXPECT_EQ(s->stereo, 0);
    EXPECT_EQ(s->freq, HZ);
    const std::vector<float> v = a_float(s);
    ASSERT_GT(v.size(), 100u);
    float pico = 0;
    for (const float x : v) {
      pico = std::max(pico, std::fabs(x));
    }
    EXPECT_LT(pico, 0.9f) << n;
    if (n != 3 && n != 4) {
      // One-shots: no click at either end.
      EXPECT_LT(std::fabs(v.front()), 0.01f) << n;
      EXPECT_LT(std::fabs(v.back()), 0.01f) << n;
    }
  }
  EXPECT_EQ(n, 12);
}

TEST(Efectos, LasAlarmasVuelvenAEmpezarSinCosturaYLaDeMinasCorreMas)
{
  Datos snd = cargar("snd.dat");
  ASSERT_NE(snd, nullptr);
  for (const int n : {3, 4}) {
    const std::vector<float> v = a_float(static_cast<const SAMPLE *>(snd.get()[n].dat));
    float salto = 0;
    for (size_t i = 1; i < v.size(); ++i) {
      salto = std::max(salto, std::fabs(v[i] - v[i - 1]));
    }
    // From the last sample back to the first is just another step.
    EXPECT_LE(std::fabs(v.front() - v.back()), salto) << n;
  }
  // The overload alarm never pauses; the mine alarm is the shorter cycle.
  const std::vector<float> sobrecarga = a_float(static_cast<const SAMPLE *>(snd.get()[3].dat));
  for (size_t i = 0; i + 441 <= sobrecarga.size(); i += 441) {
    EXPECT_GT(rms(sobrecarga, i, i + 441), 0.05) << "gap at " << i;
  }
  EXPECT_LT(static_cast<const SAMPLE *>(snd.get()[4].dat)->len, sobrecarga.size());
}

TEST(Efectos, ElTicCabeEnUnFotograma)
{
  Datos snd = cargar("snd.dat");
  ASSERT_NE(snd, nullptr);
  // Up to 65 in a row, one a frame: each ends before the next starts, so a
  // run never holds more than one slot.
  EXPECT_LE(static_cast<const SAMPLE *>(snd.get()[11].dat)->len, unsigned(HZ / 40));
}

// No effect much louder than the music at equal settings: both reach the
// mixer the same way, so compare their loudest tenths of a second.
TEST(Efectos, NingunoSuenaMuchoMasFuerteQueLaMusica)
{
  Datos msc = cargar("msc.dat");
  Datos snd = cargar("snd.dat");
  ASSERT_NE(msc, nullptr);
  ASSERT_NE(snd, nullptr);
  double musica = 0;
  for (int i = 0; i < 3; ++i) {
    musica = std::max(musica, rms_maximo(decodificar(msc.get()[i]).audio, 2, 0.1));
  }
  for (int n = 0; n < 12; ++n) {
    const double r = rms_maximo(a_float(static_cast<const SAMPLE *>(snd.get()[n].dat)), 1, 0.1);
    const double db = 20 * std::log10(r / musica);
    EXPECT_LT(db, 3.0) << "effect " << n;
    EXPECT_GT(db, -16.0) << "effect " << n << " would be lost under the music";
  }
}

TEST(Intro, UnaCartaQueCabeEnPantallaYUnaFirmaDeUnosSegundos)
{
  Datos intro = cargar("intro.dat");
  ASSERT_NE(intro, nullptr);
  ASSERT_EQ(intro.get()[0].type, DAT_BITMAP);
  const auto *carta = static_cast<const BITMAP *>(intro.get()[0].dat);
  EXPECT_LE(carta->w, 1024);
  EXPECT_LE(carta->h, 768);
  EXPECT_GE(carta->w, 400);
  ASSERT_EQ(intro.get()[1].type, DAT_SAMPLE);
  const auto *firma = static_cast<const SAMPLE *>(intro.get()[1].dat);
  const double segundos = double(firma->len) / firma->freq;
  // It plays while the card is held, at most 250 frames.
  EXPECT_GE(segundos, 2.0);
  EXPECT_LE(segundos, 6.25);
  EXPECT_EQ(intro.get()[2].type, DAT_END);
}

}  // namespace
