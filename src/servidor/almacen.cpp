// The store's one interface: each call goes to the backend that opened it.
#include "servidor/servidor.h"

struct almacen {
  const backend_almacen *backend;
  void *b;
};

almacen *almacen_abrir(const std::string &base, std::string &error)
{
  const backend_almacen *backend = es_base_postgresql(base) ? &BACKEND_POSTGRESQL : &BACKEND_SQLITE;
  void *b = backend->abrir(base, error);
  if (b == nullptr) {
    return nullptr;
  }
  return new almacen{backend, b};
}

void almacen_cerrar(almacen *a)
{
  if (a != nullptr) {
    a->backend->cerrar(a->b);
    delete a;
  }
}

resultado_guardar almacen_guardar(almacen *a, const puntuacion &p) { return a->backend->guardar(a->b, p); }

bool almacen_pagina(almacen *a, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas)
{
  filas.clear();
  return a->backend->pagina(a->b, desde, cuantos, filas);
}

int64_t almacen_contar(almacen *a, bool con_trampas) { return a->backend->contar(a->b, con_trampas); }

int64_t almacen_posicion(almacen *a, const std::string &nombre) { return a->backend->posicion(a->b, nombre); }
