// The files the editor keeps: the user's level folder, the recovery copy
// of a level with unsaved changes, and the editor's own language.
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "codigo/codigo.h"
#include "editor/editor.h"
#include "fichero_nivel/fichero_nivel.h"

namespace {

// An XDG base folder: the variable when it holds an absolute path (relative
// values are to be ignored), else the default under $HOME; empty when
// neither is absolute.
std::filesystem::path carpeta_xdg(const char *variable, const char *por_defecto)
{
  const char *xdg = getenv(variable);
  const char *casa = getenv("HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    return xdg;
  }
  if (casa != nullptr && casa[0] == '/') {
    return std::filesystem::path(casa) / por_defecto;
  }
  return {};
}

// `sub` under the XDG folder, made when missing.
std::string carpeta_hecha(const char *variable, const char *por_defecto, const char *sub)
{
  const std::filesystem::path base = carpeta_xdg(variable, por_defecto);
  if (base.empty()) {
    return "";
  }
  const std::filesystem::path carpeta = base / "fotonauta" / sub;
  std::error_code ec;
  std::filesystem::create_directories(carpeta, ec);
  return carpeta.string();
}

std::string leer_todo(const std::filesystem::path &ruta)
{
  std::ifstream f(ruta, std::ios::binary);
  std::ostringstream t;
  t << f.rdbuf();
  return t.str();
}

// Writes a small file through a new one renamed over it.
bool escribir_todo(const std::filesystem::path &ruta, const std::string &texto)
{
  const std::filesystem::path temporal = ruta.string() + ".tmp";
  {
    std::ofstream f(temporal, std::ios::binary);
    f << texto;
    f.close();
    if (!f) {
      std::error_code ec;
      std::filesystem::remove(temporal, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporal, ruta, ec);
  return !ec;
}

}  // namespace

std::string carpeta_niveles_usuario()
{
  return carpeta_hecha("XDG_DATA_HOME", ".local/share", "niveles");
}

std::string carpeta_recuperacion()
{
  return carpeta_hecha("XDG_STATE_HOME", ".local/state", "recuperacion");
}

std::vector<fichero_nivel> leer_ficheros_niveles(const std::string &carpeta)
{
  std::vector<fichero_nivel> ficheros;
  std::error_code ec;
  for (std::filesystem::directory_iterator i(carpeta, ec), fin; !ec && i != fin; i.increment(ec)) {
    const std::filesystem::path &p = i->path();
    if (p.extension() == ".txt" && i->is_regular_file(ec)) {
      fichero_nivel f;
      f.nombre = p.filename().string();
      f.legible = leer_nivel_texto(p.string(), f.nivel, f.error);
      ficheros.push_back(std::move(f));
    }
  }
  std::sort(ficheros.begin(), ficheros.end(),
            [](const fichero_nivel &a, const fichero_nivel &b) { return a.nombre < b.nombre; });
  return ficheros;
}

std::string nombre_de_numero(int numero)
{
  char nombre[16];
  snprintf(nombre, sizeof nombre, "%02d.txt", numero - 1);
  return nombre;
}

int numero_de_nombre(const std::string &nombre)
{
  if (nombre.size() != 6 || nombre.compare(2, 4, ".txt") != 0 || !isdigit(static_cast<unsigned char>(nombre[0])) ||
      !isdigit(static_cast<unsigned char>(nombre[1]))) {
    return -1;
  }
  const int n = (nombre[0] - '0') * 10 + (nombre[1] - '0');
  return n < NUM_NIVELES ? n + 1 : -1;
}

std::string primer_nombre_libre(const std::string &carpeta)
{
  std::error_code ec;
  for (int n = 1; n <= NUM_NIVELES; ++n) {
    const std::string nombre = nombre_de_numero(n);
    if (!std::filesystem::exists(std::filesystem::path(carpeta) / nombre, ec)) {
      return nombre;
    }
  }
  return "nivel.txt";
}

nivel_texto nivel_vacio()
{
  nivel_texto n;
  n.gremlins = 0;
  memset(n.bytes, ELEMENTOS[ELEMENTO_SUELO].primero, NUM_CELDAS);
  return n;
}

// ---------------------------------------------------------------------------
// The recovery copy
// ---------------------------------------------------------------------------

namespace {

std::filesystem::path copia_de(const std::string &carpeta, int pid, const char *extension)
{
  return std::filesystem::path(carpeta) / (std::to_string(pid) + extension);
}

}  // namespace

bool guardar_recuperacion(const std::string &carpeta, int pid, const documento &d)
{
  if (carpeta.empty()) {
    return false;
  }
  // The level first: a copy is only offered once its path is there too.
  return escribir_todo(copia_de(carpeta, pid, ".txt"), escribir_nivel_texto(d.nivel)) &&
         escribir_todo(copia_de(carpeta, pid, ".ruta"), d.ruta + "\n");
}

void borrar_recuperacion(const std::string &carpeta, int pid)
{
  if (carpeta.empty()) {
    return;
  }
  std::error_code ec;
  std::filesystem::remove(copia_de(carpeta, pid, ".ruta"), ec);
  std::filesystem::remove(copia_de(carpeta, pid, ".txt"), ec);
}

bool buscar_recuperacion(const std::string &carpeta, recuperacion &r)
{
  std::error_code ec;
  std::filesystem::file_time_type mas_nueva{};
  bool hallada = false;
  for (std::filesystem::directory_iterator i(carpeta, ec), fin; !ec && i != fin; i.increment(ec)) {
    const std::filesystem::path &p = i->path();
    char *fin_numero = nullptr;
    const std::string base = p.stem().string();
    const long pid = strtol(base.c_str(), &fin_numero, 10);
    if (p.extension() != ".ruta" || base.empty() || *fin_numero != '\0' || pid <= 0) {
      continue;
    }
    // An editor still running keeps its own copy.
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
      continue;
    }
    recuperacion leida;
    std::string error;
    if (!leer_nivel_texto(copia_de(carpeta, static_cast<int>(pid), ".txt").string(), leida.nivel, error)) {
      continue;
    }
    const std::filesystem::file_time_type cuando = std::filesystem::last_write_time(p, ec);
    if (hallada && cuando <= mas_nueva) {
      continue;
    }
    leida.pid = static_cast<int>(pid);
    leida.ruta = leer_todo(p);
    while (!leida.ruta.empty() && leida.ruta.back() == '\n') {
      leida.ruta.pop_back();
    }
    r = leida;
    mas_nueva = cuando;
    hallada = true;
  }
  return hallada;
}

// ---------------------------------------------------------------------------
// The editor's language
// ---------------------------------------------------------------------------

namespace {

std::filesystem::path fichero_ajustes()
{
  const std::filesystem::path base = carpeta_xdg("XDG_CONFIG_HOME", ".config");
  return base.empty() ? base : base / "fotonauta" / "editor.cfg";
}

}  // namespace

namespace {

// The settings file holds one "key value" a line, the value in UTF-8 to the
// line's end. The value of `clave`, empty when it is not there.
std::string leer_ajuste(const std::string &clave)
{
  const std::filesystem::path ruta = fichero_ajustes();
  if (ruta.empty()) {
    return "";
  }
  std::istringstream f(leer_todo(ruta));
  for (std::string linea; std::getline(f, linea);) {
    if (linea.rfind(clave + " ", 0) == 0) {
      return linea.substr(clave.size() + 1);
    }
  }
  return "";
}

// Sets `clave`, keeping the other lines.
bool guardar_ajuste(const std::string &clave, const std::string &valor)
{
  const std::filesystem::path ruta = fichero_ajustes();
  if (ruta.empty()) {
    return false;
  }
  std::istringstream f(leer_todo(ruta));
  std::string texto;
  for (std::string linea; std::getline(f, linea);) {
    if (!linea.empty() && linea.rfind(clave + " ", 0) != 0) {
      texto += linea + "\n";
    }
  }
  texto += clave + " " + valor + "\n";
  std::error_code ec;
  std::filesystem::create_directories(ruta.parent_path(), ec);
  return escribir_todo(ruta, texto);
}

}  // namespace

int leer_idioma_editor()
{
  const std::string valor = leer_ajuste("idioma");
  return valor == "es" ? 0 : valor == "en" ? 1 : -1;
}

bool guardar_idioma_editor(int idioma_elegido)
{
  return guardar_ajuste("idioma", idioma_elegido == 1 ? "en" : "es");
}

std::string leer_autor_editor()
{
  std::string nombre;
  if (!linea_latin1(leer_ajuste("firma"), nombre) || nombre.size() > static_cast<size_t>(LONG_NOMBRE)) {
    return "";
  }
  return nombre;
}

bool guardar_autor_editor(const std::string &nombre)
{
  return guardar_ajuste("firma", linea_utf8(nombre));
}
