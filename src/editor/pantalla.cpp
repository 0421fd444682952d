// The editor's screen: the loop that takes the input, follows the proof,
// keeps the recovery copy and draws; and what the commands do to files,
// the proof, Play and the plan's steps.
#include <allegro.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "editor/editor.h"
#include "fichero_nivel/fichero_nivel.h"
#include "pantalla/pantalla.h"

namespace {

// Logic frames come every third frame, as in the game.
constexpr int FOTOGRAMAS_POR_CICLO = 3;

// The recovery copy is written at most this often while the level changes.
constexpr int64_t INTERVALO_COPIA_MS = 300;

// After Play the game's last screen holds still for seconds, and the author
// may be clicking at it when the editor comes back unannounced: a press
// made before the editor's first frame is not taken, nor one made sooner
// after it than anybody can see a new screen and click on it.
constexpr int PAUSA_TRAS_JUGAR_MS = 250;

std::string nombre_archivo(const std::string &ruta)
{
  return std::filesystem::path(ruta).filename().string();
}

void olvidar_prueba(estado_editor &e)
{
  cancelar_prueba(e.prueba);
  e.hay_resultado = false;
  e.resultado = resultado_prueba{};
  e.paso_plan = 0;
  e.plan_ganado = false;
}

frase con_reglas(const std::string &es, const std::string &en)
{
  return {es + " " + reglas_del_nivel().es, en + " " + reglas_del_nivel().en};
}

void hacer_tras_pregunta(estado_editor &e, uint8_t tras)
{
  switch (tras) {
  case TRAS_NUEVO:
    nivel_nuevo(e);
    break;
  case TRAS_ABRIR:
    abrir_lista(e);
    break;
  case TRAS_SALIR:
    e.salir = true;
    break;
  default:
    break;
  }
}

// The copy of a level with unsaved changes: written as it changes, gone
// once nothing would be lost.
void cuidar_copia(estado_editor &e)
{
  if (!modificado(e.doc)) {
    if (e.revision_copia != ~0u) {
      borrar_recuperacion(e.carpeta_copias, e.pid);
      e.revision_copia = ~0u;
    }
    return;
  }
  const int64_t t = ahora_ms();
  if (e.doc.revision != e.revision_copia && t - e.ultima_copia >= INTERVALO_COPIA_MS) {
    guardar_recuperacion(e.carpeta_copias, e.pid, e.doc);
    e.revision_copia = e.doc.revision;
    e.ultima_copia = t;
  }
}

std::string porcentaje(double p)
{
  char texto[16];
  snprintf(texto, sizeof texto, "%.1f", p);
  std::string t = texto;
  if (espanol()) {
    t.replace(t.find('.'), 1, ",");
  }
  return t;
}

// What the random starts the proof watched say.
frase sobre_arranques(const resultado_prueba &r)
{
  const std::string n = std::to_string(r.arranques), s = std::to_string(r.segundos_peligro);
  if (r.peligrosos == 0) {
    return {"Ninguno de los " + n + " comienzos al azar cuesta una vida en los " + s +
                " primeros segundos a quien no se mueva.",
            "None of the " + n + " random starts costs a player who does not move a life in the first " + s +
                " seconds."};
  }
  frase f{std::to_string(r.peligrosos) + " de los " + n + " comienzos al azar " +
              (r.peligrosos == 1 ? "cuesta" : "cuestan") + " una vida en los " + s +
              " primeros segundos a quien no se mueva (",
          std::to_string(r.peligrosos) + " of the " + n + " random starts " + (r.peligrosos == 1 ? "costs" : "cost") +
              " a player who does not move a life in the first " + s + " seconds ("};
  if (r.en_mina > 0) {
    f.es += std::to_string(r.en_mina) + " por el rayo en una mina";
    f.en += std::to_string(r.en_mina) + " by the beam on a mine";
  }
  if (r.de_rebote > 0) {
    f.es += std::string(r.en_mina > 0 ? ", " : "") + std::to_string(r.de_rebote) + " por el rayo devuelto al l\xE1ser";
    f.en += std::string(r.en_mina > 0 ? ", " : "") + std::to_string(r.de_rebote) + " by the beam thrown back into the laser";
  }
  const std::string t = porcentaje(r.primera_perdida);
  f.es += "; la primera, a los " + t + " s).";
  f.en += "; the first after " + t + " s).";
  return f;
}

void terminar_prueba(estado_editor &e, const resultado_prueba &r)
{
  e.hay_resultado = true;
  e.resultado = r;
  e.paso_plan = 0;
  frase f;
  const std::string p = porcentaje(r.energia);
  if (r.pasa) {
    f = {"Se puede ganar con el " + p + " % de la energ\xED" "a (" + std::to_string(r.fotogramas) + " fotogramas, " +
             contar(r.giros, {"giro", ""}, {"giros", ""}, true) + ").",
         "Winnable with " + p + " % of the energy (" + std::to_string(r.fotogramas) + " frames, " +
             contar(r.giros, {"", "setting"}, {"", "settings"}, false) + ")."};
  } else {
    f = {"No se puede ganar con el 70 % de la energ\xED" "a: " + en_idioma(r.error, true) + ".",
         "Not winnable within 70 % of the energy: " + r.error + "."};
  }
  if (r.arranques > 0) {
    const frase a = sobre_arranques(r);
    f.es += " " + a.es;
    f.en += " " + a.en;
  }
  if (!r.plan.empty()) {
    f.es += " Paso (o N) muestra el plan.";
    f.en += " Step (or N) shows the plan.";
  }
  if (!r.grabacion.empty()) {
    tomar_grabacion(e, r.grabacion);
    f.es += " Ya se puede publicar.";
    f.en += " It can be published now.";
  }
  decir(e, f, r.pasa ? verde : rojo);
}

}  // namespace

int64_t ahora_ms()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool espanol()
{
  return idioma != IDIOMA_INGLES;
}

const char *tr(const char *es, const char *en)
{
  return espanol() ? es : en;
}

void decir(estado_editor &e, const frase &f, int marca)
{
  e.mensaje = f;
  e.revision_mensaje = e.doc.revision;
  e.color_marca = marca;
}

void nivel_nuevo(estado_editor &e)
{
  olvidar_prueba(e);
  const std::string nombre = primer_nombre_libre(e.carpeta);
  empezar_documento(e.doc, nivel_vacio(), (std::filesystem::path(e.carpeta) / nombre).string(), nivel_vacio());
  e.hay_seleccion = false;
  decir(e, con_reglas("Nivel nuevo, " + nombre + ".", "New level, " + nombre + "."));
}

void abrir_nivel(estado_editor &e, const std::string &ruta)
{
  std::error_code ec;
  if (!std::filesystem::exists(ruta, ec)) {
    // A name that is not there yet is where a new level will be saved.
    nivel_nuevo(e);
    e.doc.ruta = ruta;
    decir(e, con_reglas("Nivel nuevo, " + nombre_archivo(ruta) + ".", "New level, " + nombre_archivo(ruta) + "."));
    return;
  }
  nivel_texto leido;
  std::string error;
  if (!leer_nivel_texto(ruta, leido, error)) {
    // The file stays as it is: the level that goes on being edited is a
    // new one, saved elsewhere.
    fprintf(stderr, "fotonauta-editor: %s\n", error.c_str());
    nivel_nuevo(e);
    if (error.rfind(ruta, 0) == 0) {
      error.replace(0, ruta.size(), nombre_archivo(ruta));
    }
    decir(e, {en_idioma(error, true) + ". Se empieza un nivel nuevo, " + nombre_archivo(e.doc.ruta) + ".",
              error + ". A new level is begun, " + nombre_archivo(e.doc.ruta) + "."},
          rojo);
    return;
  }
  if (leido.gremlins < 0) {
    // A file without a count has, played as NN.txt, the stored level's.
    const int n = numero_de_nombre(nombre_archivo(ruta));
    leido.gremlins = static_cast<int8_t>(n > 0 ? gremlins[n - 1] : 0);
  }
  olvidar_prueba(e);
  empezar_documento(e.doc, leido, ruta, leido);
  e.hay_seleccion = false;
  decir(e, {"Abierto " + nombre_archivo(ruta) + ".", "Opened " + nombre_archivo(ruta) + "."});
}

bool guardar_en(estado_editor &e, const std::string &ruta)
{
  std::string error;
  if (!guardar_nivel_texto(ruta, e.doc.nivel, error)) {
    decir(e, {en_idioma(error, true) + ".", error + "."}, rojo);
    return false;
  }
  e.doc.ruta = ruta;
  marcar_guardado(e.doc);
  const int n = static_cast<int>(e.problemas.size());
  const frase problema{"problema", "problem"}, problemas{"problemas", "problems"};
  decir(e, {"Guardado " + nombre_archivo(ruta) + (n == 0 ? "." : " (con " + contar(n, problema, problemas, true) + ")."),
            "Saved " + nombre_archivo(ruta) + (n == 0 ? "." : " (with " + contar(n, problema, problemas, false) + ").")});
  return true;
}

void preguntar_si_hay_cambios(estado_editor &e, uint8_t tras)
{
  if (!modificado(e.doc)) {
    hacer_tras_pregunta(e, tras);
    return;
  }
  e.dialogo = DIALOGO_PREGUNTA;
  e.tras_pregunta = tras;
}

void responder_pregunta(estado_editor &e, int respuesta)
{
  e.dialogo = DIALOGO_NINGUNO;
  const uint8_t tras = e.tras_pregunta;
  e.tras_pregunta = TRAS_NADA;
  if (respuesta == 0 && guardar_en(e, e.doc.ruta)) {
    hacer_tras_pregunta(e, tras);
  } else if (respuesta == 1) {
    // Discarded: nothing is left to recover.
    borrar_recuperacion(e.carpeta_copias, e.pid);
    e.revision_copia = ~0u;
    hacer_tras_pregunta(e, tras);
  }
}

void responder_recuperacion(estado_editor &e, bool recuperar)
{
  e.dialogo = DIALOGO_NINGUNO;
  if (recuperar) {
    // Compared with what its file holds now, so the level shows changed.
    nivel_texto guardado = nivel_vacio();
    std::string error;
    std::error_code ec;
    if (std::filesystem::exists(e.copia.ruta, ec) && !leer_nivel_texto(e.copia.ruta, guardado, error)) {
      guardado = nivel_vacio();
    }
    olvidar_prueba(e);
    empezar_documento(e.doc, e.copia.nivel, e.copia.ruta, guardado);
    decir(e, {"Recuperado " + nombre_archivo(e.copia.ruta) + ", sin guardar todav\xED" "a.",
              "Recovered " + nombre_archivo(e.copia.ruta) + ", not saved yet."});
  }
  borrar_recuperacion(e.carpeta_copias, e.copia.pid);
}

void probar(estado_editor &e)
{
  if (e.prueba.pid >= 0) {
    cancelar_prueba(e.prueba);
    decir(e, {"Prueba cancelada.", "Proof cancelled."});
    return;
  }
  olvidar_prueba(e);
  if (!e.problemas.empty()) {
    decir(e, {"Antes de probarlo, el nivel ha de cumplir las reglas.", "The level must keep the rules before it is proved."});
    return;
  }
  if (!empezar_prueba(e.prueba, e.doc.nivel)) {
    decir(e, {"No se ha podido empezar la prueba.", "The proof could not start."}, rojo);
  }
}

void jugar(estado_editor &e)
{
  if (!e.problemas.empty()) {
    decir(e, {"Antes de jugarlo, el nivel ha de cumplir las reglas.", "The level must keep the rules before it is played."});
    return;
  }
  cancelar_prueba(e.prueba);
  mover_espejos_pinchados(1);
  jugar_nivel_suelto(e.doc.nivel);
  // The game has had the board, the beam and the mouse.
  e.recargar = true;
  e.paso_plan = 0;
  // Nothing done in the game acts here: a button still held is not a new
  // press, nor is a click made while its last screen held still. The time
  // runs from the editor's first frame shown (see the loop).
  olvidar_entrada(e, PAUSA_TRAS_JUGAR_MS);
  e.de_vuelta = true;
  if (!tomar_victoria_jugada(e)) {
    decir(e, {"De vuelta de Jugar.", "Back from Play."});
  }
}

void siguiente_paso(estado_editor &e)
{
  const std::vector<paso_prueba> &plan = e.resultado.plan;
  if (plan.empty()) {
    decir(e, {"No hay plan que mostrar: Probar busca uno.", "No plan to show: Prove finds one."});
    return;
  }
  e.paso_plan = e.paso_plan >= plan.size() ? 1 : e.paso_plan + 1;
  reconstruir(e);
  const paso_prueba &p = plan[e.paso_plan - 1];
  const std::string de = std::to_string(e.paso_plan) + (espanol() ? " de " : " of ") + std::to_string(plan.size());
  frase f;
  if (p.giro) {
    f = {"Paso " + de + ": el espejo de la " + en_idioma(nombre_celda(p.celda), true) + ", al \xE1ngulo " +
             std::to_string(p.angulo) + ".",
         "Step " + de + ": the mirror at " + nombre_celda(p.celda) + ", to angle " + std::to_string(p.angulo) + "."};
  } else {
    std::string es, en;
    for (size_t k = 0; k < p.blancos.size(); ++k) {
      es += (k == 0 ? "" : "; ") + en_idioma(nombre_celda(p.blancos[k]), true);
      en += (k == 0 ? "" : "; ") + nombre_celda(p.blancos[k]);
    }
    f = {"Paso " + de + ": esperar a los detonadores de la " + es + ".", "Step " + de + ": wait for the targets at " + en + "."};
  }
  if (e.paso_plan == plan.size()) {
    if (e.plan_ganado) {
      f.es += " El rayo entra en el receptor: nivel ganado.";
      f.en += " The beam enters the receiver: the level is won.";
    } else {
      f.es += " El azar de los reemisores decide el final.";
      f.en += " The re-emitters' chance decides the end.";
    }
  }
  decir(e, f, e.paso_plan == plan.size() && e.plan_ganado ? verde : -1);
}

void elegir_hueco(estado_editor &e, int hueco, int pasos)
{
  if (hueco < NUM_ELEMENTOS && pasos != 0) {
    int v = 0;
    elemento_de_byte(girar_byte(byte_de_elemento(hueco, e.variante[hueco]), pasos), &v);
    e.variante[hueco] = static_cast<uint8_t>(v);
    e.recargar = true;
  }
  if (e.elegido == HUECO_MANO && hueco != HUECO_MANO) {
    mover_espejos_pinchados(1);
  }
  if (hueco < NUM_ELEMENTOS) {
    e.elemento = hueco;
  }
  e.elegido = hueco;
}

void terminar_texto(estado_editor &e)
{
  switch (e.dialogo) {
  case DIALOGO_TITULO:
    e.titulo_entrada = e.texto_entrada;
    e.texto_entrada = e.doc.nivel.idea;
    e.dialogo = DIALOGO_IDEA;
    break;
  case DIALOGO_IDEA:
    e.dialogo = DIALOGO_NINGUNO;
    cambiar_textos(e.doc, e.titulo_entrada, e.texto_entrada);
    break;
  case DIALOGO_AUTOR: {
    std::string nombre = e.texto_entrada;
    nombre.erase(0, nombre.find_first_not_of(' '));
    nombre.erase(nombre.find_last_not_of(' ') + 1);
    if (nombre.empty()) {
      e.aviso_dialogo = tr("Un nombre, de una letra al menos.", "A name, of one letter at least.");
      return;
    }
    e.dialogo = DIALOGO_NINGUNO;
    e.firma = nombre;
    if (!guardar_autor_editor(nombre)) {
      fprintf(stderr, "fotonauta-editor: the author's name could not be kept in editor.cfg\n");
    }
    publicar(e);
    break;
  }
  case DIALOGO_NUMERO: {
    const int n = atoi(e.texto_entrada.c_str());
    if (n < 1 || n > NUM_NIVELES) {
      e.aviso_dialogo = espanol() ? "Un n\xFAmero de 1 a " + std::to_string(NUM_NIVELES) + "."
                                  : "A number from 1 to " + std::to_string(NUM_NIVELES) + ".";
      return;
    }
    e.dialogo = DIALOGO_NINGUNO;
    guardar_en(e, (std::filesystem::path(e.carpeta) / nombre_de_numero(n)).string());
    break;
  }
  default:
    break;
  }
}

void ejecutar_editor(const char *fichero)
{
  static estado_editor e;
  e.pid = static_cast<int>(getpid());
  e.carpeta = carpeta_niveles_usuario();
  e.carpeta_copias = carpeta_recuperacion();
  e.firma = leer_autor_editor();
  // The editor's own language, once chosen, over the game's.
  const int elegido = leer_idioma_editor();
  if (elegido >= 0) {
    idioma = elegido == 1 ? IDIOMA_INGLES : IDIOMA_ESPANOL;
    colocar_texto_botones_partida();
  }
  for (int k = 0; k < NUM_ELEMENTOS; ++k) {
    e.variante[k] = VARIANTE_INICIAL[k];
  }
  colocar_botones();
  if (fichero != nullptr) {
    abrir_nivel(e, fichero);
  } else {
    nivel_nuevo(e);
  }
  // What an editor that did not end well left unsaved is offered back.
  if (buscar_recuperacion(e.carpeta_copias, e.copia)) {
    e.dialogo = DIALOGO_RECUPERAR;
  }
  mover_espejos_pinchados(1);
  olvidar_entrada(e, 0);

  while (!e.salir) {
    const bool logico = e.cuenta_ciclo == 0;
    atender_entrada(e);
    resultado_prueba r;
    if (seguir_prueba(e.prueba, r)) {
      terminar_prueba(e, r);
    }
    if (e.doc.revision != e.revision_tablero) {
      // A changed level is not the one proved.
      olvidar_prueba(e);
      e.recargar = true;
    }
    if (e.recargar) {
      reconstruir(e);
    }
    if (logico) {
      trazar(e);
    }
    cuidar_copia(e);
    dibujar_tablero(e, logico);
    dibujar_cabecera(e);
    dibujar_panel(e);
    dibujar_dialogo(e);
    dibujar_ayuda_emergente(e);
    e.cuenta_ciclo = logico ? FOTOGRAMAS_POR_CICLO - 1 : e.cuenta_ciclo - 1;
    reproducir_musica(-1);
    paso_fotograma_con_puntero();
    if (e.publicar_pendiente) {
      // "Publishing" is on the screen while the request waits.
      e.publicar_pendiente = false;
      publicar_ahora(e);
    }
    if (e.de_vuelta) {
      e.de_vuelta = false;
      olvidar_entrada(e, PAUSA_TRAS_JUGAR_MS);
    }
  }
  cancelar_prueba(e.prueba);
  cerrar_lista(e);
  // Whatever was unsaved was saved or given up when asked.
  borrar_recuperacion(e.carpeta_copias, e.pid);
}
