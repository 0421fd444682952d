// Publishing the level being edited on the score server: its text, the
// author's name and a recording that wins it, sent as one POST. The
// recording is the proof's plan played in a whole game (the helper makes
// it) or the author's own win in Play; either stands for the level while
// the level is the one it was played on, undo and redo included.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "editor/editor.h"
#include "pantalla/pantalla.h"
#include "internet/internet.h"
#include "repeticion/repeticion.h"

namespace {

// A level's ID on the server: its hash in 16 lower-case hex digits.
std::string id_de(uint64_t hash)
{
  char texto[17];
  snprintf(texto, sizeof texto, "%016" PRIx64, hash);
  return texto;
}

bool es_id(const std::string &t)
{
  return t.size() == 16 && t.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The server's line as the editor's letters draw it.
std::string en_letras_del_juego(const std::string &linea)
{
  std::string t;
  return linea_latin1(linea, t) ? t : linea;
}

}  // namespace

void tomar_grabacion(estado_editor &e, const std::vector<uint8_t> &bytes)
{
  cabecera_repeticion c;
  std::string error;
  if (leer_cabecera_repeticion(bytes.data(), bytes.size(), c, error)) {
    e.grabacion = bytes;
    e.hash_grabacion = c.hash_niveles;
  }
}

bool tomar_victoria_jugada(estado_editor &e)
{
  const cabecera_repeticion &c = partida_grabada.cabecera;
  if ((c.banderas & REPETICION_SUELTO) == 0 || c.hash_niveles != hash_nivel(e.doc.nivel) || c.fases == 0 ||
      c.motivo_fin == jugando) {
    return false;
  }
  // Played again as the server will play it, on the rules' state, which
  // the editor rebuilds after Play anyway.
  const verificacion v = verificar_repeticion(partida_grabada, &e.doc.nivel);
  if (!v.valida || v.trampas) {
    decir(e, {"De vuelta de Jugar: ganado, pero con trucos; esa partida no sirve para publicarlo.",
              "Back from Play: won, but with cheats; that game cannot publish it."});
    return true;
  }
  tomar_grabacion(e, codificar_repeticion(partida_grabada));
  decir(e, {"De vuelta de Jugar: ganado. Ya se puede publicar.", "Back from Play: won. It can be published now."},
        verde);
  return true;
}

bool puede_publicar(const estado_editor &e)
{
  return !e.grabacion.empty() && e.hash_grabacion == hash_nivel(e.doc.nivel);
}

void publicar(estado_editor &e)
{
  if (!puede_publicar(e)) {
    decir(e, {"Para publicarlo, antes hay que ganarlo: Probar o Jugar.", "To publish it, win it first: Prove or Play."});
    return;
  }
  if (e.firma.empty()) {
    e.dialogo = DIALOGO_AUTOR;
    e.texto_entrada.clear();
    e.sugerido = false;
    e.aviso_dialogo.clear();
    clear_keybuf();
    return;
  }
  const std::string servidor = servidor_puntuaciones();
  decir(e, {"Publicando en " + servidor + "...", "Publishing on " + servidor + "..."});
  e.publicar_pendiente = true;
}

void publicar_ahora(estado_editor &e)
{
  if (!puede_publicar(e)) {
    return;
  }
  const std::string servidor = servidor_puntuaciones();
  const std::string texto = escribir_nivel_texto(e.doc.nivel);
  std::string respuesta;
  int32_t r = inet_connect(servidor.c_str());
  if (r == INET_CORRECTO) {
    r = inet_sendlevel(e.firma.c_str(), texto, e.grabacion.data(), e.grabacion.size(), respuesta);
  }
  inet_close();
  const int estado = respuesta.empty() ? 0 : atoi(respuesta.c_str());
  const std::string sin_cambios_es = " El nivel y su fichero siguen como estaban.";
  const std::string sin_cambios_en = " The level and its file are as they were.";
  frase f;
  if (estado == 201 || estado == 202 || estado == 409) {
    // The answer names the ID (a 409 says by whom after it); the level's
    // own, should it not.
    std::string id = id_de(hash_nivel_canonico(e.doc.nivel));
    for (size_t i = 0; i < respuesta.size();) {
      const size_t fin = std::min(respuesta.find(' ', i), respuesta.size());
      if (es_id(respuesta.substr(i, fin - i))) {
        id = respuesta.substr(i, fin - i);
        break;
      }
      i = fin + 1;
    }
    const std::string direccion = "http://" + servidor + "/niveles/" + id;
    if (estado == 201) {
      f = {"Publicado en " + direccion, "Published at " + direccion};
    } else if (estado == 202) {
      // The server plays the recording later, when busy.
      f = {"Enviado: se publicar\xE1 en cuanto el servidor compruebe la grabaci\xF3n, en " + direccion,
           "Sent: it will be published once the server has checked the recording, at " + direccion};
    } else {
      f = {"Ya estaba publicado, en " + direccion, "Already published, at " + direccion};
    }
    decir(e, f, verde);
    // Also where it can be copied from whole.
    printf("%s\n", direccion.c_str());
    fflush(stdout);
    return;
  }
  if (r == INET_SIN_FIRMA) {
    // The author's key cannot sign (a damaged key file): nothing was sent.
    const std::string motivo = en_letras_del_juego(respuesta);
    f = {"No se ha podido firmar la publicaci\xF3n, y no se ha enviado: " + motivo + "." + sin_cambios_es,
         "The publication could not be signed, and was not sent: " + motivo + "." + sin_cambios_en};
  } else if (r == INET_SIN_CLIENTE) {
    f = {"No se ha podido publicar: falta libcurl, la biblioteca de HTTP." + sin_cambios_es,
         "Could not publish: libcurl, the HTTP library, is missing." + sin_cambios_en};
  } else if (r == INET_SIN_CONEXION) {
    f = {"No se ha podido publicar: no se llega al servidor " + servidor + " (\xBFsin red?)." + sin_cambios_es,
         "Could not publish: the server " + servidor + " cannot be reached (no network?)." + sin_cambios_en};
  } else if (estado == 0) {
    f = {"No se ha podido publicar: el servidor " + servidor + " no ha respondido." + sin_cambios_es,
         "Could not publish: the server " + servidor + " did not answer." + sin_cambios_en};
  } else {
    const std::string motivo = en_letras_del_juego(respuesta);
    f = {"El servidor no lo ha publicado: " + motivo + "." + sin_cambios_es,
         "The server did not publish it: " + motivo + "." + sin_cambios_en};
  }
  decir(e, f, rojo);
  fprintf(stderr, "fotonauta-editor: %s\n", f.en.c_str());
}
