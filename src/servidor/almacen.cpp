// The store's one interface: each call goes to the backend that opened it.
#include "servidor/servidor.h"

// The reads both backends run word for word: see servidor.h.
const char *const SQL_PAGINA =
    "SELECT nombre, codigo, puntos, fases, recibida FROM puntuaciones WHERE trampa = 0"
    " ORDER BY puntos DESC, id ASC LIMIT $1 OFFSET $2";
const char *const SQL_PUESTO = "SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0 AND puntos > $1";
const char *const SQL_TOTAL = "SELECT clasificadas FROM totales";
const char *const SQL_TODAS = "SELECT COUNT(*) FROM puntuaciones";
// "+trampa" keeps the planner off the ranking index: walking it in rank
// order to find one name read every row ahead of that name's best (seconds
// in a table of a million), where the name's own index finds its few rows.
const char *const SQL_MEJOR =
    "SELECT puntos, id FROM puntuaciones WHERE +trampa = 0 AND nombre = $1 ORDER BY puntos DESC, id ASC LIMIT 1";
const char *const SQL_ANTES =
    "SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0 AND (puntos > $1 OR (puntos = $1 AND id < $2))";

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
