// The dialogs, drawn over the board while they take the input: unsaved
// changes (save, discard or cancel), a level to recover after a crash, a
// line to type (title, idea, level number), the help, and the list of
// levels to open with a small picture of each.
#include <allegro.h>

#include <algorithm>
#include <filesystem>

#include "editor/editor.h"
#include "fichero_nivel/fichero_nivel.h"
#include "pantalla/pantalla.h"

namespace {

constexpr int X_CAJA = 192, ANCHO_CAJA = 640, Y_CAJA = 190;
constexpr int ALTO_BOTON = 28;
constexpr int LINEAS_CAJA = 3;

// The list to open: two columns of entries, four rows showing.
constexpr int Y_LISTA = ORIGEN_TABLERO + 44;
constexpr int ANCHO_ENTRADA = COLUMNAS * LADO_CELDA / 2;
constexpr int ALTO_ENTRADA = 132;
constexpr int FILAS_LISTA = 4;
constexpr int LADO_MINIATURA = 10;

// The help: two columns of lines.
constexpr int Y_AYUDA = ORIGEN_TABLERO + 40;
constexpr int ANCHO_COLUMNA_AYUDA = COLUMNAS * LADO_CELDA / 2 - 24;

struct boton_dialogo {
  std::string texto;
  int x, y, ancho;
};

int gris(int v)
{
  return makecol(v, v, v);
}

int alto_letra()
{
  return text_height(fuente_panel());
}

std::string nombre_archivo(const std::string &ruta)
{
  return std::filesystem::path(ruta).filename().string();
}

// What the box says, in lines, and its answers.
std::vector<std::string> texto_caja(const estado_editor &e)
{
  const bool es = espanol();
  std::string t;
  switch (e.dialogo) {
  case DIALOGO_PREGUNTA:
    t = es ? nombre_archivo(e.doc.ruta) + " tiene cambios sin guardar. \xBFGuardarlos antes?"
           : nombre_archivo(e.doc.ruta) + " has unsaved changes. Save them first?";
    break;
  case DIALOGO_RECUPERAR: {
    const std::string titulo = e.copia.nivel.titulo.empty() ? "" : " (\xAB" + e.copia.nivel.titulo + "\xBB)";
    t = es ? "El editor se cerr\xF3 sin guardar los cambios de " + nombre_archivo(e.copia.ruta) + titulo +
                 ". \xBFRecuperar el nivel tal como estaba?"
           : "The editor stopped without saving the changes to " + nombre_archivo(e.copia.ruta) + titulo +
                 ". Bring the level back as it was?";
    break;
  }
  case DIALOGO_TITULO:
    t = tr("T\xEDtulo del nivel:", "The level's title:");
    break;
  case DIALOGO_IDEA:
    t = tr("Idea, una l\xEDnea que lo presenta:", "Idea, one line that introduces it:");
    break;
  case DIALOGO_NUMERO:
    t = es ? "Guardar como el nivel n\xFAmero (1 a " + std::to_string(NUM_NIVELES) + "):"
           : "Save as level number (1 to " + std::to_string(NUM_NIVELES) + "):";
    break;
  case DIALOGO_AUTOR:
    t = tr("\xBF" "Con qu\xE9 nombre firmas tus niveles? Va con el nivel publicado, y se recuerda para los siguientes.",
           "The name you sign your levels with: it goes with the published level, and is remembered for the next ones.");
    break;
  default:
    break;
  }
  return partir_texto(t, ANCHO_CAJA - 40);
}

std::vector<boton_dialogo> botones_de(const estado_editor &e)
{
  std::vector<const char *> textos;
  switch (e.dialogo) {
  case DIALOGO_PREGUNTA:
    textos = {tr("Guardar", "Save"), tr("Descartar", "Discard"), tr("Cancelar", "Cancel")};
    break;
  case DIALOGO_RECUPERAR:
    textos = {tr("Recuperar", "Recover"), tr("Descartar", "Discard"), tr("M\xE1s tarde", "Later")};
    break;
  case DIALOGO_TITULO:
  case DIALOGO_IDEA:
    textos = {tr("Aceptar", "OK"), tr("Cancelar", "Cancel")};
    break;
  case DIALOGO_NUMERO:
    textos = {tr("Guardar", "Save"), tr("Cancelar", "Cancel")};
    break;
  case DIALOGO_AUTOR:
    textos = {tr("Publicar", "Publish"), tr("Cancelar", "Cancel")};
    break;
  case DIALOGO_ABRIR:
    textos = {tr("Cerrar", "Close")};
    break;
  default:
    break;
  }
  std::vector<boton_dialogo> botones;
  if (e.dialogo == DIALOGO_ABRIR) {
    const int ancho = text_length(fuente_panel(), textos[0]) + 24;
    botones.push_back({textos[0], ORIGEN_TABLERO + COLUMNAS * LADO_CELDA - ancho - 8, ORIGEN_TABLERO + 6, ancho});
    return botones;
  }
  // The answers stand in one place whatever the lines above them say.
  const int escritura = escribiendo(e);
  const int lineas = std::max(static_cast<int>(texto_caja(e).size()), escritura ? 1 : LINEAS_CAJA);
  const int y = Y_CAJA + 24 + lineas * alto_letra() + (escritura ? 78 : 20);
  int total = 0;
  for (const char *t : textos) {
    total += text_length(fuente_panel(), t) + 32 + 16;
  }
  int x = X_CAJA + (ANCHO_CAJA - total + 16) / 2;
  for (const char *t : textos) {
    const int ancho = text_length(fuente_panel(), t) + 32;
    botones.push_back({t, x, y, ancho});
    x += ancho + 16;
  }
  return botones;
}

void dibujar_botones(const estado_editor &e, const std::vector<boton_dialogo> &botones)
{
  for (size_t k = 0; k < botones.size(); ++k) {
    const boton_dialogo &b = botones[k];
    const bool encima = boton_dialogo_bajo(e, e.x, e.y) == static_cast<int>(k);
    rectfill(buffer, b.x, b.y, b.x + b.ancho - 1, b.y + ALTO_BOTON - 1, encima ? makecol(70, 90, 140) : makecol(40, 48, 70));
    rect(buffer, b.x, b.y, b.x + b.ancho - 1, b.y + ALTO_BOTON - 1, gris(190));
    textout_centre_ex(buffer, fuente_panel(), b.texto.c_str(), b.x + b.ancho / 2, b.y + (ALTO_BOTON - alto_letra()) / 2,
                      -1, -1);
  }
}

// Save As: the file the number names, and what is there now.
std::string destino_numero(const estado_editor &e)
{
  const int n = atoi(e.texto_entrada.c_str());
  if (n < 1 || n > NUM_NIVELES) {
    return "";
  }
  const std::string nombre = nombre_de_numero(n);
  const std::string ruta = e.carpeta + "/" + nombre;
  std::error_code ec;
  if (ruta == e.doc.ruta) {
    return nombre + tr(": este mismo nivel", ": this very level");
  }
  if (!std::filesystem::exists(ruta, ec)) {
    return nombre + tr(", libre", ", free");
  }
  nivel_texto otro;
  std::string error;
  const std::string titulo = leer_nivel_texto(ruta, otro, error) ? " \xAB" + otro.titulo + "\xBB" : "";
  return nombre + tr(": sustituir\xE1 al nivel que hay", ": will take the place of the level there") + titulo;
}

void dibujar_caja(estado_editor &e)
{
  const std::vector<std::string> lineas = texto_caja(e);
  const std::vector<boton_dialogo> botones = botones_de(e);
  const int y1 = botones.empty() ? Y_CAJA + 120 : botones[0].y + ALTO_BOTON + 16;
  rectfill(buffer, X_CAJA, Y_CAJA, X_CAJA + ANCHO_CAJA - 1, y1, makecol(20, 24, 40));
  rect(buffer, X_CAJA, Y_CAJA, X_CAJA + ANCHO_CAJA - 1, y1, amarillo);
  rect(buffer, X_CAJA + 1, Y_CAJA + 1, X_CAJA + ANCHO_CAJA - 2, y1 - 1, amarillo);
  int y = Y_CAJA + 20;
  for (const std::string &l : lineas) {
    textout_ex(buffer, fuente_panel(), l.c_str(), X_CAJA + 20, y, -1, -1);
    y += alto_letra();
  }
  if (escribiendo(e)) {
    y += 8;
    rectfill(buffer, X_CAJA + 20, y, X_CAJA + ANCHO_CAJA - 21, y + alto_letra() + 6, makecol(6, 8, 16));
    rect(buffer, X_CAJA + 20, y, X_CAJA + ANCHO_CAJA - 21, y + alto_letra() + 6, gris(160));
    // The end of a long line, and the cursor, stay in sight.
    std::string t = e.texto_entrada + ((ahora_ms() / 400) % 2 == 0 ? "_" : " ");
    while (text_length(fuente_panel(), t.c_str()) > ANCHO_CAJA - 56) {
      t.erase(0, 1);
    }
    textout_ex(buffer, fuente_panel(), t.c_str(), X_CAJA + 28, y + 3, -1, -1);
    y += alto_letra() + 14;
    const std::string aviso = e.dialogo == DIALOGO_NUMERO && e.aviso_dialogo.empty() ? destino_numero(e) : e.aviso_dialogo;
    textout_ex(buffer, fuente_panel(), aviso.c_str(), X_CAJA + 20, y, -1, -1);
  }
  dibujar_botones(e, botones);
}

// ---------------------------------------------------------------------------
// The help
// ---------------------------------------------------------------------------

struct linea_ayuda {
  std::string texto;
  bool titulo;
  int sangria;
};

std::vector<linea_ayuda> lineas_de_ayuda()
{
  const bool es = espanol();
  std::vector<linea_ayuda> l;
  auto parrafo = [&l](const std::string &t, int sangria) {
    bool primera = true;
    for (const std::string &p : partir_texto(t, ANCHO_COLUMNA_AYUDA - sangria)) {
      l.push_back({p, false, primera ? 0 : sangria});
      primera = false;
    }
  };
  l.push_back({tr("Teclas", "Keys"), true, 0});
  for (int c = 0; c < NUM_COMANDOS; ++c) {
    const std::string tecla = tecla_de_comando(c);
    if (!tecla.empty()) {
      parrafo(tecla + ": " + COMANDOS[c].nombre[es ? 0 : 1], 24);
    }
  }
  l.push_back({tr("Rat\xF3n", "Mouse"), true, 0});
  const char *const raton[][2] = {
      {"Bot\xF3n izquierdo o arrastrar: pinta el elemento elegido.", "Left button or a drag: paints the chosen element."},
      {"Bot\xF3n derecho: borra, deja suelo.", "Right button: clears, leaves floor."},
      {"Rueda o R sobre una celda: gira lo que hay; sobre la paleta: su variante.",
       "Wheel or R over a cell: turns what is there; over the palette: its variant."},
      {"Un clic en un cuarto de un muro del tipo elegido lo quita o lo pone.",
       "A click on a quarter of a wall of the chosen kind takes it away or back."},
      {"Selecci\xF3n: arrastrar marca un rect\xE1ngulo; arrastrar desde dentro lo mueve; el bot\xF3n derecho lo quita.",
       "Selection: a drag marks a rectangle; a drag from inside moves it; the right button drops it."},
      {"Un clic en un problema de la lista marca su celda.", "A click on a problem in the list marks its cell."},
  };
  for (const auto &r : raton) {
    parrafo(r[es ? 0 : 1], 24);
  }
  // Play runs the game's own loop: its keys, for those who play without
  // the mouse.
  l.push_back({tr("Al jugar (y en el juego)", "Playing (and in the game)"), true, 0});
  const char *const jugar[][2] = {
      {"Flechas: un cursor salta al espejo m\xE1s cercano hacia ese lado; con May\xFAs, una celda.",
       "Arrows: a cursor jumps to the nearest mirror that way; with Shift, one cell."},
      {"Z sostenida gira el espejo del cursor a la izquierda, X a la derecha; mover el rat\xF3n vuelve al puntero.",
       "Z held turns the cursor's mirror anticlockwise, X clockwise; moving the mouse goes back to the pointer."},
      {"Esc o P: pausa; otra vez, sigue. F1: pausa y muestra estas teclas.",
       "Esc or P: pause; again, go on. F1: pause with these keys shown."},
  };
  for (const auto &j : jugar) {
    parrafo(j[es ? 0 : 1], 24);
  }
  l.push_back({tr("Al empezar", "At the start"), true, 0});
  parrafo(tr("El juego gira cada espejo normal a un \xE1ngulo al azar al empezar el nivel (el dado ? de la paleta); el "
             "que se ve aqu\xED es solo el del rayo del editor. Probar cuenta los comienzos al azar que son peligrosos.",
             "The game turns every plain mirror to a random angle at the level's start (the die ? in the palette); "
             "the angle seen here is only the editor's beam's. Prove counts the random starts that are dangerous."),
         0);
  parrafo(tr("Las celdas se nombran por columna (1 a 15, de izquierda a derecha) y fila (1 a 9, de arriba abajo).",
             "Cells are named by column (1 to 15, left to right) and row (1 to 9, top to bottom)."),
         0);
  l.push_back({tr("Reglas del nivel", "Level rules"), true, 0});
  parrafo(en_lengua(reglas_del_nivel(), es), 0);
  return l;
}

int lineas_por_columna()
{
  return (ORIGEN_TABLERO + FILAS * LADO_CELDA - Y_AYUDA - 8) / alto_letra();
}

void dibujar_ayuda(const estado_editor &e)
{
  const std::vector<linea_ayuda> lineas = lineas_de_ayuda();
  const int x0 = ORIGEN_TABLERO, y0 = ORIGEN_TABLERO;
  rectfill(buffer, x0, y0, x0 + COLUMNAS * LADO_CELDA - 1, y0 + FILAS * LADO_CELDA - 1, makecol(10, 12, 24));
  textout_ex(buffer, fuente_panel(),
             tr("Ayuda (F1, Esc o un clic la cierran; la rueda la mueve)", "Help (F1, Esc or a click closes it; the wheel scrolls it)"),
             x0 + 12, y0 + 10, -1, -1);
  const int por_columna = lineas_por_columna();
  for (int k = 0; k < 2 * por_columna; ++k) {
    const size_t i = static_cast<size_t>(k + e.desplazamiento_dialogo);
    if (i >= lineas.size()) {
      break;
    }
    const linea_ayuda &l = lineas[i];
    const int x = x0 + 12 + (k / por_columna) * (COLUMNAS * LADO_CELDA / 2) + l.sangria;
    const int y = Y_AYUDA + (k % por_columna) * alto_letra();
    if (l.titulo) {
      hline(buffer, x, y + alto_letra() - 2, x + ANCHO_COLUMNA_AYUDA, amarillo);
    }
    textout_ex(buffer, fuente_panel(), l.texto.c_str(), x, y, -1, -1);
  }
}

// ---------------------------------------------------------------------------
// The list of levels to open
// ---------------------------------------------------------------------------

// Where entry `i` of the list is drawn, or false when it is scrolled away.
bool lugar_de_fichero(const estado_editor &e, int i, int &x, int &y)
{
  const int fila = i / 2 - e.desplazamiento_dialogo;
  if (fila < 0 || fila >= FILAS_LISTA) {
    return false;
  }
  x = ORIGEN_TABLERO + (i % 2) * ANCHO_ENTRADA;
  y = Y_LISTA + fila * ALTO_ENTRADA;
  return true;
}

void dibujar_lista(const estado_editor &e)
{
  const int x0 = ORIGEN_TABLERO, y0 = ORIGEN_TABLERO;
  rectfill(buffer, x0, y0, x0 + COLUMNAS * LADO_CELDA - 1, y0 + FILAS * LADO_CELDA - 1, makecol(10, 12, 24));
  const std::string cabecera = std::string(tr("Abrir un nivel de ", "Open a level from ")) + e.carpeta;
  textout_ex(buffer, fuente_panel(), cabecera.c_str(), x0 + 12, y0 + 10, -1, -1);
  const int bajo = fichero_bajo(e, e.x, e.y);
  for (int i = 0; i < static_cast<int>(e.lista.size()); ++i) {
    int x = 0, y = 0;
    if (!lugar_de_fichero(e, i, x, y)) {
      continue;
    }
    const fichero_nivel &f = e.lista[static_cast<size_t>(i)];
    if (i == bajo) {
      rectfill(buffer, x + 4, y, x + ANCHO_ENTRADA - 5, y + ALTO_ENTRADA - 5, makecol(50, 60, 100));
    }
    if (static_cast<size_t>(i) < e.miniaturas.size() && e.miniaturas[static_cast<size_t>(i)] != nullptr) {
      blit(e.miniaturas[static_cast<size_t>(i)], buffer, 0, 0, x + 10, y + 8, COLUMNAS * LADO_MINIATURA,
           FILAS * LADO_MINIATURA);
    } else {
      rect(buffer, x + 10, y + 8, x + 10 + COLUMNAS * LADO_MINIATURA - 1, y + 8 + FILAS * LADO_MINIATURA - 1, rojo);
    }
    const int xt = x + 20 + COLUMNAS * LADO_MINIATURA;
    const int ancho = ANCHO_ENTRADA - (xt - x) - 10;
    int yt = y + 6;
    textout_ex(buffer, fuente_panel(), f.nombre.c_str(), xt, yt, -1, -1);
    yt += alto_letra() + 2;
    const std::string texto = f.legible ? f.nivel.titulo : en_idioma(f.error.substr(f.error.find(": ") + 2), espanol());
    for (const std::string &l : partir_texto(texto, ancho)) {
      if (yt + alto_letra() > y + ALTO_ENTRADA - 6) {
        break;
      }
      textout_ex(buffer, fuente_panel(), l.c_str(), xt, yt, f.legible ? -1 : rojo, -1);
      yt += alto_letra();
    }
  }
  const int filas = (static_cast<int>(e.lista.size()) + 1) / 2;
  if (filas > FILAS_LISTA) {
    const std::string donde = std::to_string(e.desplazamiento_dialogo + 1) + "-" +
                              std::to_string(std::min(filas, e.desplazamiento_dialogo + FILAS_LISTA)) + " / " +
                              std::to_string(filas) + tr(" (la rueda mueve la lista)", " (the wheel scrolls)");
    textout_right_ex(buffer, fuente_panel(), donde.c_str(), x0 + COLUMNAS * LADO_CELDA - 120, y0 + 10, -1, -1);
  }
  dibujar_botones(e, botones_de(e));
}

}  // namespace

void abrir_lista(estado_editor &e)
{
  cerrar_lista(e);
  e.lista = leer_ficheros_niveles(e.carpeta);
  if (e.lista.empty()) {
    decir(e, {"No hay niveles en " + e.carpeta + ".", "No levels in " + e.carpeta + "."});
    return;
  }
  // A small picture of each board, from the tiles the game loads it with.
  for (const fichero_nivel &f : e.lista) {
    BITMAP *m = f.legible ? create_bitmap(COLUMNAS * LADO_MINIATURA, FILAS * LADO_MINIATURA) : nullptr;
    if (m != nullptr) {
      cargar_tablero(f.nivel.bytes, -1);
      for (int c = 0; c < NUM_CELDAS; ++c) {
        uint8_t grf = nucleo.est_nivel[c].grf;
        if (nucleo.est_nivel[c].tipo == espejo) {
          grf = static_cast<uint8_t>(primer_grf[espejo] + f.nivel.bytes[c] - ELEMENTOS[ELEMENTO_ESPEJO].primero);
        }
        stretch_blit(loseta[grf], m, 0, 0, LADO_CELDA, LADO_CELDA, (c % COLUMNAS) * LADO_MINIATURA,
                     (c / COLUMNAS) * LADO_MINIATURA, LADO_MINIATURA, LADO_MINIATURA);
      }
    }
    e.miniaturas.push_back(m);
  }
  // The live board was borrowed for the pictures.
  e.recargar = true;
  e.dialogo = DIALOGO_ABRIR;
  e.desplazamiento_dialogo = 0;
}

void cerrar_lista(estado_editor &e)
{
  for (BITMAP *m : e.miniaturas) {
    if (m != nullptr) {
      destroy_bitmap(m);
    }
  }
  e.miniaturas.clear();
  e.lista.clear();
  if (e.dialogo == DIALOGO_ABRIR) {
    e.dialogo = DIALOGO_NINGUNO;
  }
}

int fichero_bajo(const estado_editor &e, int x, int y)
{
  if (e.dialogo != DIALOGO_ABRIR) {
    return -1;
  }
  for (int i = 0; i < static_cast<int>(e.lista.size()); ++i) {
    int xe = 0, ye = 0;
    if (lugar_de_fichero(e, i, xe, ye) && x >= xe && x < xe + ANCHO_ENTRADA && y >= ye && y < ye + ALTO_ENTRADA - 4) {
      return i;
    }
  }
  return -1;
}

bool escribiendo(const estado_editor &e)
{
  return e.dialogo == DIALOGO_TITULO || e.dialogo == DIALOGO_IDEA || e.dialogo == DIALOGO_NUMERO ||
         e.dialogo == DIALOGO_AUTOR;
}

int boton_dialogo_bajo(const estado_editor &e, int x, int y)
{
  const std::vector<boton_dialogo> botones = botones_de(e);
  for (size_t k = 0; k < botones.size(); ++k) {
    const boton_dialogo &b = botones[k];
    if (x >= b.x && x < b.x + b.ancho && y >= b.y && y < b.y + ALTO_BOTON) {
      return static_cast<int>(k);
    }
  }
  return -1;
}

void desplazar_dialogo(estado_editor &e, int pasos)
{
  int maximo = 0;
  if (e.dialogo == DIALOGO_AYUDA) {
    maximo = static_cast<int>(lineas_de_ayuda().size()) - 2 * lineas_por_columna();
  } else if (e.dialogo == DIALOGO_ABRIR) {
    maximo = (static_cast<int>(e.lista.size()) + 1) / 2 - FILAS_LISTA;
  }
  e.desplazamiento_dialogo = std::clamp(e.desplazamiento_dialogo + pasos, 0, std::max(maximo, 0));
}

void dibujar_dialogo(estado_editor &e)
{
  switch (e.dialogo) {
  case DIALOGO_NINGUNO:
    break;
  case DIALOGO_AYUDA:
    dibujar_ayuda(e);
    break;
  case DIALOGO_ABRIR:
    dibujar_lista(e);
    break;
  default:
    dibujar_caja(e);
    break;
  }
}
