// The editor's messages in Spanish: the level rules, the level reader and
// the solver speak English, as the level tool does, and the editor turns
// their words for a Spanish-speaking author.
#include "editor/editor.h"

namespace {

struct traduccion {
  const char *ingles;
  const char *espanol;
};

// Longer phrases first: each is replaced where it appears.
const traduccion TRADUCCIONES[] = {
    {"the receiver's gate does not stop the beam: it needs a wall across the way in",
     "la puerta del receptor no detiene el rayo: necesita un muro de trav\xE9s en la entrada"},
    {"the receiver opens off the board", "el receptor se abre fuera del tablero"},
    {"no free 2 x 2 block square for its ", "no hay 2 x 2 medias celdas libres por las que entren sus "},
    {" gremlins to enter", " gremlins"},
    {"fibre-optic end in cell 0", "extremo de fibra \xF3ptica en la celda 0"},
    {"fibre-optic pair ", "la pareja de fibra \xF3ptica "},
    {" appears ", " aparece "},
    {" times (cells ", " veces (celdas "},
    {" time (cells ", " vez (celdas "},
    {"another emitter (the first is in cell ", "otro emisor (el primero est\xE1 en la celda "},
    {"another receiver (the first is in cell ", "otro receptor (el primero est\xE1 en la celda "},
    {"no emitter", "ning\xFAn emisor"},
    {"no receiver", "ning\xFAn receptor"},
    {" targets, at least ", " detonadores, hacen falta al menos "},
    {" needed", ""},
    {"is not a level element", "no es un elemento de nivel"},
    {"expected a line starting with", "se esperaba una l\xEDnea que empezara por"},
    {"unknown cell", "casilla desconocida"},
    {"a row holds 15 cells, this one ", "una fila tiene 15 casillas, \xE9sta "},
    {"more than 135 cells", "m\xE1s de 135 casillas"},
    {" cells instead of 135", " casillas en vez de 135"},
    {"the gremlin count must be 0 to ", "los gremlins han de ser de 0 a "},
    {"cannot be read", "no se puede leer"},
    {"cannot be written", "no se puede escribir"},
    {"line ", "l\xEDnea "},
    {"column ", "columna "},
    {"cell ", "celda "},
    {"no way to the targets in cells", "ning\xFAn camino lleva a los detonadores de las celdas"},
    {"no way into the receiver once the gate is open", "ning\xFAn camino entra en el receptor con la puerta abierta"},
    {"the beam entered the receiver with targets standing", "el rayo entr\xF3 en el receptor con detonadores en pie"},
    {"life lost to overload", "vida perdida por sobrecarga"},
    {"life lost: energy ran out", "vida perdida: se acab\xF3 la energ\xED" "a"},
    {"late", "tarde"},
    {" at frame ", " en el fotograma "},
    {"the solver stopped before it finished", "el resolutor se detuvo antes de acabar"},
};

}  // namespace

std::string en_idioma(const std::string &ingles, bool espanol)
{
  if (!espanol) {
    return ingles;
  }
  std::string t = ingles;
  for (const traduccion &d : TRADUCCIONES) {
    const std::string de = d.ingles, a = d.espanol;
    for (size_t p = t.find(de); p != std::string::npos; p = t.find(de, p + a.size())) {
      t.replace(p, de.size(), a);
    }
  }
  return t;
}
