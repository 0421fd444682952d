// The files the Watch and Play pages load, served from the program under
// names that carry a hash of their bytes, so a browser keeps each one for
// a year and a new build's file is a new name. The module and the art are
// sent gzipped as the build packed them; the scripts and style,
// as any text, are packed per request by the HTTP library when the
// browser takes it.
#include "servidor/servidor.h"

#include <cstring>

extern "C" {
#define DECLARAR(simbolo) extern const unsigned char simbolo[], simbolo##_fin[]
DECLARAR(web_comun_js);
DECLARAR(web_ver_js);
DECLARAR(web_jugar_js);
DECLARAR(web_visor_css);
DECLARAR(web_modulo_wasm);
DECLARAR(web_grf_dat);
DECLARAR(web_fuentes_dat);
DECLARAR(web_snd_dat);
DECLARAR(web_modulo_wasm_gz);
DECLARAR(web_grf_dat_gz);
DECLARAR(web_fuentes_dat_gz);
DECLARAR(web_snd_dat_gz);
#undef DECLARAR
}

namespace {

struct fichero_web {
  const char *nombre;  // as the pages and the other files name it
  const char *tipo;
  std::string datos;
  std::string gzip;    // empty when packing it does not pay
  std::string ruta;    // /web/NAME.HASH.EXT
};

std::string bytes(const unsigned char *principio, const unsigned char *fin)
{
  return std::string(reinterpret_cast<const char *>(principio), reinterpret_cast<const char *>(fin));
}

std::string hex_fnv(const std::string &s)
{
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : s) {
    h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3ULL;
  }
  static const char cifras[] = "0123456789abcdef";
  std::string t(12, '0');
  for (int i = 11; i >= 0; --i, h >>= 4) {
    t[static_cast<size_t>(i)] = cifras[h & 15];
  }
  return t;
}

// A script's imports of the other scripts ("./comun.js") become their
// hashed names, so a script's own hash changes with what it imports.
void enlazar(std::string &texto, const std::vector<fichero_web> &hechos)
{
  for (const fichero_web &f : hechos) {
    const std::string de = std::string("'./") + f.nombre + "'";
    const std::string a = "'./" + f.ruta.substr(5) + "'";
    for (size_t p = texto.find(de); p != std::string::npos; p = texto.find(de, p + a.size())) {
      texto.replace(p, de.size(), a);
    }
  }
}

const std::vector<fichero_web> &ficheros()
{
  static const std::vector<fichero_web> todos = [] {
    std::vector<fichero_web> v;
    const auto poner = [&v](const char *nombre, const char *tipo, std::string datos, std::string gzip = {}) {
      fichero_web f{nombre, tipo, std::move(datos), std::move(gzip), {}};
      if (std::strncmp(tipo, "text/", 5) == 0) {
        enlazar(f.datos, v);
      }
      // Packing that saves less than a tenth is not worth a browser's time.
      if (f.gzip.size() * 10 > f.datos.size() * 9) {
        f.gzip.clear();
      }
      const char *punto = std::strrchr(nombre, '.');
      f.ruta = "/web/" + std::string(nombre, punto) + "." + hex_fnv(f.datos) + punto;
      v.push_back(std::move(f));
    };
    poner("fotonauta.wasm", "application/wasm", bytes(web_modulo_wasm, web_modulo_wasm_fin),
          bytes(web_modulo_wasm_gz, web_modulo_wasm_gz_fin));
    poner("grf.dat", "application/octet-stream", bytes(web_grf_dat, web_grf_dat_fin), bytes(web_grf_dat_gz, web_grf_dat_gz_fin));
    poner("fuentes.dat", "application/octet-stream", bytes(web_fuentes_dat, web_fuentes_dat_fin),
          bytes(web_fuentes_dat_gz, web_fuentes_dat_gz_fin));
    poner("snd.dat", "application/octet-stream", bytes(web_snd_dat, web_snd_dat_fin), bytes(web_snd_dat_gz, web_snd_dat_gz_fin));
    // The tables' style, then the players' own: one sheet, as the pages'
    // policy allows no style inline.
    poner("visor.css", "text/css; charset=utf-8", std::string(estilo_paginas()) + bytes(web_visor_css, web_visor_css_fin));
    poner("comun.js", "text/javascript; charset=utf-8", bytes(web_comun_js, web_comun_js_fin));
    poner("ver.js", "text/javascript; charset=utf-8", bytes(web_ver_js, web_ver_js_fin));
    poner("jugar.js", "text/javascript; charset=utf-8", bytes(web_jugar_js, web_jugar_js_fin));
    return v;
  }();
  return todos;
}

}  // namespace

const char *const POLITICA_PAGINAS =
    "default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self'; img-src 'self';"
    " connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

std::string ruta_web(const char *nombre)
{
  for (const fichero_web &f : ficheros()) {
    if (std::strcmp(f.nombre, nombre) == 0) {
      return f.ruta;
    }
  }
  return {};
}

bool modulo_web_presente() { return bytes(web_modulo_wasm, web_modulo_wasm_fin).size() > 0; }

bool servir_web(const std::string &ruta, bool acepta_gzip, respuesta &r)
{
  for (const fichero_web &f : ficheros()) {
    if (f.ruta == ruta) {
      r = {};
      r.tipo = f.tipo;
      r.cabeceras.emplace_back("Cache-Control", "public, max-age=31536000, immutable");
      // Text is packed by the HTTP library as the browser asks; the rest here.
      r.cabeceras.emplace_back("Vary", "Accept-Encoding");
      if (!f.gzip.empty() && acepta_gzip) {
        r.cabeceras.emplace_back("Content-Encoding", "gzip");
        r.cuerpo = f.gzip;
      } else {
        r.cuerpo = f.datos;
      }
      return true;
    }
  }
  return false;
}
