// The editor's words: the level rules, the level reader and the solver
// speak English, as the level tool does, and the editor turns their words
// for a Spanish-speaking author; counted nouns; the rules of a level.
#include <cctype>

#include "editor/editor.h"

namespace {

struct traduccion {
  const char *ingles;
  const char *espanol;
};

// Longer phrases first: each is replaced where it appears, from the start
// of a word.
const traduccion TRADUCCIONES[] = {
    {"the receiver's gate does not stop the beam: it needs a wall across the way in",
     "la puerta del receptor no detiene el rayo: necesita un muro de trav\xE9s en la entrada"},
    {"(a9 or a6)", "(a9 o a6)"},
    {"(a3 or ac)", "(a3 o ac)"},
    {"the receiver opens off the board", "el receptor se abre fuera del tablero"},
    {"no free 2 x 2 block square for its ", "no hay 2 x 2 medias celdas libres por las que entren sus "},
    {" gremlins to enter", " gremlins"},
    {"a fibre-optic end at ", "un extremo de fibra \xF3ptica en la "},
    {", which cannot hold one", ", que no puede tenerlo"},
    {"fibre-optic pair ", "la pareja de fibra \xF3ptica "},
    {" appears ", " aparece "},
    {" times (at ", " veces (en la "},
    {" time (at ", " vez (en la "},
    {"another emitter (the first is at ", "otro emisor (el primero est\xE1 en la "},
    {"another receiver (the first is at ", "otro receptor (el primero est\xE1 en la "},
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
    {"the character ", "el car\xE1" "cter "},
    {" cannot be shown in the game's fonts", " no se puede mostrar con las letras del juego"},
    {"cannot be read", "no se puede leer"},
    {"cannot be written", "no se puede escribir"},
    {"no way to the targets at ", "ning\xFAn camino lleva a los detonadores de la "},
    {"no way to the target at ", "ning\xFAn camino lleva al detonador de la "},
    {"no way into the receiver once the gate is open", "ning\xFAn camino entra en el receptor con la puerta abierta"},
    {"the beam entered the receiver with targets standing", "el rayo entr\xF3 en el receptor con detonadores en pie"},
    {"life lost to overload", "vida perdida por sobrecarga"},
    {"life lost: energy ran out", "vida perdida: se acab\xF3 la energ\xED" "a"},
    {"late", "tarde"},
    {" at frame ", " en el fotograma "},
    {"the solver stopped before it finished", "el resolutor se detuvo antes de acabar"},
    {"line ", "l\xEDnea "},
    {"column ", "columna "},
    {"row ", "fila "},
};

bool letra(char c)
{
  return isalpha(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0xc0;
}

}  // namespace

std::string en_idioma(const std::string &ingles, bool espanol)
{
  if (!espanol) {
    return ingles;
  }
  std::string t = ingles;
  for (const traduccion &d : TRADUCCIONES) {
    const std::string de = d.ingles, a = d.espanol;
    for (size_t p = t.find(de); p != std::string::npos;) {
      // "row " is not the end of "throw ".
      if (p > 0 && letra(t[p - 1]) && letra(de[0])) {
        p = t.find(de, p + 1);
        continue;
      }
      t.replace(p, de.size(), a);
      p = t.find(de, p + a.size());
    }
  }
  return t;
}

std::string contar(int n, const frase &singular, const frase &plural, bool espanol)
{
  return std::to_string(n) + " " + en_lengua(n == 1 ? singular : plural, espanol);
}

const frase &reglas_del_nivel()
{
  static const frase reglas{
      "Un nivel necesita: un emisor y un receptor; delante de la abertura del receptor, un muro de trav\xE9s "
      "(su puerta, que se abre cuando no queda ning\xFAn detonador); al menos 9 detonadores; los extremos de "
      "fibra \xF3ptica por parejas, ninguno en la columna 1, fila 1; y, si hay gremlins, 2 x 2 medias celdas "
      "libres por las que entren.",
      "A level needs: one emitter and one receiver; in front of the receiver's opening, a wall across the way "
      "in (its gate, which opens once no target stands); at least 9 targets; fibre-optic ends in pairs, none at "
      "column 1, row 1; and, with gremlins, a free square of 2 x 2 half cells for them to enter by."};
  return reglas;
}
