#include "arnes/dobles.h"

#include <cstdarg>
#include <cstdio>

estado_dobles dobles;

void reiniciar_dobles()
{
  dobles = estado_dobles{};
}

extern "C" {

int __real__install_allegro_version_check(int, int *, int (*)(void (*)()), int);
int __real_set_gfx_mode(int, int, int, int, int);
DATAFILE *__real_load_datafile(const char *);
void __real_destroy_bitmap(BITMAP *);

int __wrap__install_allegro_version_check(int sistema, int *error, int (*salida)(void (*)()),
                                          int version)
{
  if (dobles.sistema_falla) {
    return -1;
  }
  if (dobles.sistema_sin_pantalla) {
    sistema = SYSTEM_NONE;
  }
  return __real__install_allegro_version_check(sistema, error, salida, version);
}

int __wrap_set_gfx_mode(int tarjeta, int ancho, int alto, int v_ancho, int v_alto)
{
  if (!dobles.simular_gfx) {
    return __real_set_gfx_mode(tarjeta, ancho, alto, v_ancho, v_alto);
  }
  dobles.llamadas_gfx.push_back({tarjeta, ancho, alto, get_color_depth()});
  if (dobles.resultados_gfx.empty()) {
    return 0;
  }
  const int r = dobles.resultados_gfx.front();
  dobles.resultados_gfx.pop_front();
  return r;
}

void __wrap_allegro_message(const char *formato, ...)
{
  char texto[1024];
  va_list args;
  va_start(args, formato);
  vsnprintf(texto, sizeof texto, formato, args);
  va_end(args);
  dobles.mensajes.emplace_back(texto);
}

DATAFILE *__wrap_load_datafile(const char *fichero)
{
  ++dobles.cargas_datafile;
  return __real_load_datafile(fichero);
}

void __wrap_destroy_bitmap(BITMAP *b)
{
  dobles.destruidos.push_back(b);
  __real_destroy_bitmap(b);
}

BITMAP *__real_create_bitmap(int, int);
BITMAP *__wrap_create_bitmap(int ancho, int alto)
{
  if (ancho == dobles.sin_memoria_ancho && alto == dobles.sin_memoria_alto && ancho > 0) {
    return nullptr;
  }
  return __real_create_bitmap(ancho, alto);
}

// Without a mouse driver the library ignores the call; the game relies on
// it to take the wheel's count, so the double does what the driver would.
void __real_position_mouse_z(int);
void __wrap_position_mouse_z(int z)
{
  __real_position_mouse_z(z);
  mouse_z = z;
}

}  // extern "C"
