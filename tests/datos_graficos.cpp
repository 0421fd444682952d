// The generated data files, as the game loads them: every object present
// with its type and size, the mask colour surviving the conversion to the
// screen's depth, and fonts that can write Spanish.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

namespace {

const std::string DATOS = FOTONAUTA_DATOS_DIR;

struct Esperado {
    int ancho, alto;
    bool enmascarado;
};

// grf.dat, object by object.
constexpr Esperado GRAFICOS[] = {
    {1024, 32, false}, {1024, 32, false}, {32, 576, false}, {32, 576, false},
    {788, 150, true},  {620, 180, true},  {32, 32, true},   {192, 56, true},
    {192, 56, true},   {192, 56, true},   {256, 2880, false},
};
constexpr int NUM_GRAFICOS = int(sizeof GRAFICOS / sizeof GRAFICOS[0]);
constexpr int PUNTERO = 6, BOTON = 7, HOJA = 10;

void iniciar_allegro(int profundidad)
{
    if (!system_driver) {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
    }
    set_color_depth(profundidad);
}

// A datafile loaded at the colour depth in force, freed at scope end.
using Datos = std::unique_ptr<DATAFILE, decltype(&unload_datafile)>;
Datos cargar(const char *nombre)
{
    return Datos(load_datafile((DATOS + "/" + nombre).c_str()), &unload_datafile);
}
BITMAP *bmp(const Datos &d, int i) { return static_cast<BITMAP *>(d.get()[i].dat); }
FONT *fuente(const Datos &d, int i) { return static_cast<FONT *>(d.get()[i].dat); }

int contar_mascara(BITMAP *b, int x0, int y0, int ancho, int alto)
{
    int n = 0;
    for (int y = y0; y < y0 + alto; ++y)
        for (int x = x0; x < x0 + ancho; ++x)
            n += getpixel(b, x, y) == bitmap_mask_color(b);
    return n;
}

class DatosGraficos : public testing::TestWithParam<int> {
protected:
    void SetUp() override { iniciar_allegro(GetParam()); }
};

TEST_P(DatosGraficos, CadaDibujoEstaConSuTipoYTamano)
{
    Datos g = cargar("grf.dat");
    ASSERT_NE(g, nullptr);
    for (int i = 0; i < NUM_GRAFICOS; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(g.get()[i].type, uint32_t(DAT_BITMAP));
        EXPECT_EQ(bmp(g, i)->w, GRAFICOS[i].ancho);
        EXPECT_EQ(bmp(g, i)->h, GRAFICOS[i].alto);
        EXPECT_EQ(bitmap_color_depth(bmp(g, i)), GetParam());
    }
    EXPECT_EQ(g.get()[NUM_GRAFICOS].type, uint32_t(DAT_END));
}

TEST_P(DatosGraficos, ElMagentaSigueSiendoTransparente)
{
    Datos g = cargar("grf.dat");
    ASSERT_NE(g, nullptr);
    for (int i = 0; i < NUM_GRAFICOS; ++i) {
        SCOPED_TRACE(i);
        BITMAP *b = bmp(g, i);
        const int m = bitmap_mask_color(b);
        if (GRAFICOS[i].enmascarado) {
            // The pointer's top-left pixel is its tip, the hot spot.
            if (i == PUNTERO)
                EXPECT_NE(getpixel(b, 0, 0), m);
            else
                EXPECT_EQ(getpixel(b, 0, 0), m);
            EXPECT_EQ(getpixel(b, b->w - 1, 0), m);
            EXPECT_EQ(getpixel(b, 0, b->h - 1), m);
            EXPECT_EQ(getpixel(b, b->w - 1, b->h - 1), m);
        } else if (i != HOJA) {
            EXPECT_EQ(contar_mascara(b, 0, 0, b->w, b->h), 0) << "hole in a frame strip";
        }
    }
    EXPECT_EQ(contar_mascara(bmp(g, HOJA), 0, 0, 64, 64), 0) << "tile 0 must be opaque";
}

TEST_P(DatosGraficos, LosTresBotonesTienenLaMismaSilueta)
{
    Datos g = cargar("grf.dat");
    ASSERT_NE(g, nullptr);
    BITMAP *reposo = bmp(g, BOTON);
    const int m = bitmap_mask_color(reposo);
    for (int i = BOTON + 1; i <= BOTON + 2; ++i)
        for (int y = 0; y < reposo->h; ++y)
            for (int x = 0; x < reposo->w; ++x)
                ASSERT_EQ(getpixel(bmp(g, i), x, y) == m, getpixel(reposo, x, y) == m)
                    << "button " << i << " at " << x << "," << y;
    // A plate, not a sliver: most of the rectangle is hit.
    EXPECT_LT(contar_mascara(reposo, 0, 0, reposo->w, reposo->h), reposo->w * reposo->h / 10);
}

TEST_P(DatosGraficos, LasFuentesEscribenEnEspanol)
{
    Datos f = cargar("fuentes.dat");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f.get()[0].type, uint32_t(DAT_FONT));
    ASSERT_EQ(f.get()[1].type, uint32_t(DAT_FONT));
    EXPECT_EQ(f.get()[2].type, uint32_t(DAT_END));

    FONT *botones = fuente(f, 0), *texto = fuente(f, 1);
    EXPECT_GE(text_height(botones), 14);
    EXPECT_LE(text_height(botones), 22);
    EXPECT_GE(text_height(texto), 26);
    EXPECT_LE(text_height(texto), 36);
    EXPECT_LT(text_length(botones, "Espa\xF1ol"), 170);

    const char *letras = "\xE1\xE9\xED\xF3\xFA\xF1\xC1\xC9\xCD\xD3\xDA\xD1\xA1\xBF\xFC";
    for (FONT *fnt : {botones, texto}) {
        for (const char *p = letras; *p; ++p) {
            SCOPED_TRACE(int(uint8_t(*p)));
            // In a range of the font itself, not drawn as Allegro's stand-in.
            bool en_rango = false;
            for (int r = 0; r < get_font_ranges(fnt); ++r)
                en_rango |= uint8_t(*p) >= get_font_range_begin(fnt, r) &&
                            uint8_t(*p) <= get_font_range_end(fnt, r);
            EXPECT_TRUE(en_rango);
            const char letra[2] = {*p, 0};
            EXPECT_GT(text_length(fnt, letra), 0);
        }

        // Drawn in the font's own colours over what was there, its
        // surroundings left alone.
        const int fondo = makecol(0, 0, 255);
        BITMAP *b = create_bitmap(64, 64);
        clear_to_color(b, fondo);
        textout_ex(b, fnt, "\xF1", 0, 0, -1, -1);
        const int w = text_length(fnt, "\xF1"), h = text_height(fnt);
        int tinta = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                tinta += getpixel(b, x, y) != fondo;
        EXPECT_GT(tinta, w * h / 8);
        EXPECT_EQ(getpixel(b, 0, 0), fondo);
        EXPECT_EQ(getpixel(b, w - 1, h - 1), fondo);
        destroy_bitmap(b);
    }
}

INSTANTIATE_TEST_SUITE_P(Profundidades, DatosGraficos, testing::Values(16, 32),
                         [](const testing::TestParamInfo<int> &i) { return std::to_string(i.param) + "bpp"; });

// A near-magenta colour in a picture turns into the mask colour at 16 bits
// per pixel and makes a hole; none may exist.
TEST(DatosGraficos, A16BitsNoSeAbrenAgujeros)
{
    iniciar_allegro(32);
    Datos g32 = cargar("grf.dat");
    iniciar_allegro(16);
    Datos g16 = cargar("grf.dat");
    ASSERT_NE(g32, nullptr);
    ASSERT_NE(g16, nullptr);
    for (int i = 0; i < NUM_GRAFICOS; ++i) {
        SCOPED_TRACE(i);
        BITMAP *a = bmp(g32, i), *b = bmp(g16, i);
        EXPECT_EQ(contar_mascara(b, 0, 0, b->w, b->h), contar_mascara(a, 0, 0, a->w, a->h));
    }
}

} // namespace
