// Writer of Allegro 4 datafiles, uncompressed. All numbers are big-endian.
#include "generador.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// "slh." marks an uncompressed packfile; "ALL." opens the datafile proper.
constexpr uint32_t MAGIA_SIN_COMPRIMIR = id_dat('s', 'l', 'h', '.');
constexpr uint32_t MAGIA_DATAFILE = id_dat('A', 'L', 'L', '.');
constexpr uint32_t MAGIA_PROPIEDAD = id_dat('p', 'r', 'o', 'p');
constexpr uint32_t PROPIEDAD_NOMBRE = id_dat('N', 'A', 'M', 'E');

// Depth flag of a font range. Allegro 4.4 takes 1 (monochrome), 8 (palette
// indices, drawn through palette_color, which is all black until a graphics
// mode is set) and 15/16/24/32 (truecolour, converted at load to the colour
// depth then in force, magenta transparent). 24 is three bytes a pixel.
constexpr uint8_t RANGO_COLOR_24 = 24;

void poner16(std::vector<uint8_t> &v, uint32_t n)
{
    v.push_back(uint8_t(n >> 8));
    v.push_back(uint8_t(n));
}

void poner32(std::vector<uint8_t> &v, uint32_t n)
{
    v.push_back(uint8_t(n >> 24));
    v.push_back(uint8_t(n >> 16));
    v.push_back(uint8_t(n >> 8));
    v.push_back(uint8_t(n));
}

} // namespace

std::vector<uint8_t> codificar_bitmap(cairo_surface_t *superficie)
{
    cairo_surface_flush(superficie);
    const int ancho = cairo_image_surface_get_width(superficie);
    const int alto = cairo_image_surface_get_height(superficie);
    const int paso = cairo_image_surface_get_stride(superficie);
    const uint8_t *datos = cairo_image_surface_get_data(superficie);

    // Depth 32 is stored as three bytes a pixel, red, green, blue; the
    // loader fills in the fourth byte itself.
    std::vector<uint8_t> v;
    v.reserve(6 + size_t(ancho) * size_t(alto) * 3);
    poner16(v, 32);
    poner16(v, uint32_t(ancho));
    poner16(v, uint32_t(alto));
    for (int y = 0; y < alto; ++y) {
        const auto *fila = reinterpret_cast<const uint32_t *>(datos + size_t(y) * size_t(paso));
        for (int x = 0; x < ancho; ++x) {
            // Opaque pixels, so the premultiplied values are the colour.
            const uint32_t p = fila[x];
            v.push_back(uint8_t(p >> 16));
            v.push_back(uint8_t(p >> 8));
            v.push_back(uint8_t(p));
        }
    }
    return v;
}

std::vector<uint8_t> codificar_fuente(const std::vector<RangoFuente> &rangos)
{
    std::vector<uint8_t> v;
    poner16(v, 0); // the proportional format of Allegro 3.9 and later
    poner16(v, uint32_t(rangos.size()));
    for (const RangoFuente &r : rangos) {
        v.push_back(RANGO_COLOR_24);
        poner32(v, r.primero);
        poner32(v, r.ultimo);
        for (const Glifo &g : r.glifos) {
            poner16(v, uint32_t(g.ancho));
            poner16(v, uint32_t(g.alto));
            v.insert(v.end(), g.rgb.begin(), g.rgb.end());
        }
    }
    return v;
}

bool escribir_datafile(const std::string &ruta,
                       const std::vector<ObjetoDat> &objetos,
                       std::string &error)
{
    std::vector<uint8_t> v;
    poner32(v, MAGIA_SIN_COMPRIMIR);
    poner32(v, MAGIA_DATAFILE);
    poner32(v, uint32_t(objetos.size()));
    for (const ObjetoDat &o : objetos) {
        if (!o.nombre.empty()) {
            poner32(v, MAGIA_PROPIEDAD);
            poner32(v, PROPIEDAD_NOMBRE);
            poner32(v, uint32_t(o.nombre.size()));
            v.insert(v.end(), o.nombre.begin(), o.nombre.end());
        }
        poner32(v, o.tipo);
        // Same size twice: positive uncompressed size means stored as is.
        poner32(v, uint32_t(o.datos.size()));
        poner32(v, uint32_t(o.datos.size()));
        v.insert(v.end(), o.datos.begin(), o.datos.end());
    }

    // Written to a temporary name and renamed, so a failed run never leaves
    // a truncated datafile that a later build would take as up to date.
    const std::string temporal = ruta + ".tmp";
    std::FILE *f = std::fopen(temporal.c_str(), "wb");
    if (!f) {
        error = "cannot create " + temporal + ": " + std::strerror(errno);
        return false;
    }
    const bool escrito = std::fwrite(v.data(), 1, v.size(), f) == v.size();
    const int err_escritura = errno;
    if (std::fclose(f) != 0 || !escrito) {
        error = "cannot write " + temporal + ": " +
                std::strerror(escrito ? errno : err_escritura);
        std::remove(temporal.c_str());
        return false;
    }
    if (std::rename(temporal.c_str(), ruta.c_str()) != 0) {
        error = "cannot rename " + temporal + " to " + ruta + ": " + std::strerror(errno);
        std::remove(temporal.c_str());
        return false;
    }
    return true;
}

std::vector<uint8_t> codificar_sample(const std::vector<int16_t> &datos, int frecuencia)
{
    // Bits (negative would mean stereo), rate and length big-endian; then
    // the samples as Allegro holds them: unsigned, little-endian words.
    std::vector<uint8_t> v;
    v.reserve(8 + 2 * datos.size());
    poner16(v, 16);
    poner16(v, uint32_t(frecuencia));
    poner32(v, uint32_t(datos.size()));
    for (const int16_t m : datos) {
        const uint16_t u = uint16_t(uint16_t(m) ^ 0x8000u);
        v.push_back(uint8_t(u));
        v.push_back(uint8_t(u >> 8));
    }
    return v;
}
