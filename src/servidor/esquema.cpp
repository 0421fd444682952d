// The store's schema and its upgrade, written once above both backends.
// Each version's step is one text in words both databases run, but for
// two: the type of a key the database numbers itself and the type of
// bytes, which a backend names (motor_esquema) and are put in for the
// marks @CLAVE and @BYTES. A backend only runs a script and reads one value.
#include "servidor/servidor.h"

#include <cstdlib>

namespace {

// Each schema version's changes from the one before; a store at version v
// runs steps v to VERSION_ESQUEMA - 1, all in one transaction.
//
// The ranked rows are counted (in `recuentos` since version 3), kept with
// every insert, so the page never counts a million rows to know how many
// pages there are, nor a player's rank.
const char *const PASOS_ESQUEMA[VERSION_ESQUEMA] = {
    "CREATE TABLE puntuaciones ("
    " id @CLAVE,"
    " nombre TEXT NOT NULL,"
    " codigo TEXT NOT NULL,"
    " puntos INTEGER NOT NULL,"
    " fases INTEGER NOT NULL,"
    " trampa INTEGER NOT NULL,"
    " recibida BIGINT NOT NULL,"
    " UNIQUE (nombre, codigo));"
    "CREATE INDEX puntuaciones_orden ON puntuaciones (trampa, puntos DESC, id);"
    "CREATE TABLE totales (clasificadas BIGINT NOT NULL);"
    "INSERT INTO totales (clasificadas) VALUES (0);",
    // Recordings: the rows they prove, the recordings themselves, and the
    // queue of those waiting to be played.
    "ALTER TABLE puntuaciones ADD COLUMN repeticion BIGINT;"
    "ALTER TABLE puntuaciones ADD COLUMN mejor INTEGER NOT NULL DEFAULT 0;"
    "CREATE INDEX puntuaciones_verificadas ON puntuaciones (puntos DESC, id) WHERE mejor = 1;"
    "ALTER TABLE totales ADD COLUMN verificadas BIGINT NOT NULL DEFAULT 0;"
    "CREATE TABLE repeticiones ("
    " id @CLAVE,"
    " huella BIGINT NOT NULL UNIQUE,"
    " fotogramas INTEGER NOT NULL,"
    " verificada BIGINT NOT NULL,"
    " innecesaria BIGINT,"
    " guardada INTEGER NOT NULL,"
    " datos @BYTES);"
    "CREATE INDEX repeticiones_poda ON repeticiones (innecesaria) WHERE guardada = 1;"
    "CREATE TABLE verificaciones ("
    " id @CLAVE,"
    " nombre TEXT NOT NULL,"
    " codigo TEXT NOT NULL,"
    " puntos INTEGER NOT NULL,"
    " fases INTEGER NOT NULL,"
    " recibida BIGINT NOT NULL,"
    " estado INTEGER NOT NULL,"
    " plazo BIGINT NOT NULL,"
    " testigo BIGINT NOT NULL,"
    " intentos INTEGER NOT NULL,"
    " resultado INTEGER NOT NULL,"
    " motivo TEXT NOT NULL,"
    " datos @BYTES,"
    " UNIQUE (nombre, codigo));"
    "CREATE INDEX verificaciones_cola ON verificaciones (estado, id);"
    "CREATE TABLE cerrojo_verificaciones (n BIGINT NOT NULL);"
    "INSERT INTO cerrojo_verificaciones (n) VALUES (0);",
    // Ranks and totals from counts by ranges of points (servidor.h).
    ESQUEMA_RECUENTOS,
    // The community levels (almacen_niveles.cpp).
    ESQUEMA_NIVELES,
    // Names bound to their players' keys (a player's rows and runs are
    // known by the folded name, filled in for older rows by
    // completar_esquema), the address each job came from and its size
    // (the queue serves addresses in turn, bounded in bytes), and the
    // operators' moderation of games: hidden, reported, and names barred.
    "CREATE TABLE nombres (plegado TEXT PRIMARY KEY, nombre TEXT NOT NULL, clave TEXT NOT NULL, desde BIGINT NOT NULL);"
    "ALTER TABLE puntuaciones ADD COLUMN plegado TEXT;"
    "CREATE INDEX puntuaciones_plegado ON puntuaciones (plegado);"
    "ALTER TABLE marcas ADD COLUMN plegado TEXT;"
    "CREATE INDEX marcas_plegado ON marcas (nivel, plegado);"
    // Levels by their canonical ID (their ID since this version; an older
    // level keeps its own, and its canonical one is filled in at open).
    "ALTER TABLE niveles ADD COLUMN canonico BIGINT;"
    // The recordings kept from before are known by the huella of the file
    // as it was sent: idle workers play each again and keep it, and its
    // huella, as the game writes it (cola.cpp).
    "ALTER TABLE repeticiones ADD COLUMN canonica INTEGER NOT NULL DEFAULT 1;"
    "UPDATE repeticiones SET canonica = 0 WHERE guardada = 1;"
    "CREATE INDEX repeticiones_antiguas ON repeticiones (id) WHERE canonica = 0;"
    // What completar_esquema has still to fill in: one row until it has.
    "CREATE TABLE esquema_por_completar (n INTEGER NOT NULL);"
    "INSERT INTO esquema_por_completar (n) VALUES (5);"
    "CREATE INDEX niveles_canonico ON niveles (canonico);"
    "ALTER TABLE verificaciones ADD COLUMN bytes BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE verificaciones ADD COLUMN direccion BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE verificaciones ADD COLUMN clave TEXT;"
    "ALTER TABLE verificaciones ADD COLUMN turno BIGINT NOT NULL DEFAULT 0;"
    "CREATE INDEX verificaciones_direccion ON verificaciones (direccion, estado);"
    "CREATE INDEX verificaciones_turno ON verificaciones (estado, turno, id);"
    "ALTER TABLE repeticiones ADD COLUMN oculta INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE repeticiones ADD COLUMN denuncias BIGINT NOT NULL DEFAULT 0;"
    "CREATE INDEX repeticiones_denunciadas ON repeticiones (denuncias DESC, id) WHERE denuncias > 0;"
    "CREATE TABLE denuncias_partida (repeticion BIGINT NOT NULL, direccion BIGINT NOT NULL,"
    " PRIMARY KEY (repeticion, direccion));"
    "CREATE TABLE vetados (plegado TEXT PRIMARY KEY, desde BIGINT NOT NULL);",
    // A level's wins counted as its plays are, once per address (hashed),
    // and every win a play: a level's plays are raised to its wins from
    // before, which were counted per run.
    "CREATE TABLE victorias_nivel (nivel BIGINT NOT NULL, direccion BIGINT NOT NULL, PRIMARY KEY (nivel, direccion));"
    "UPDATE niveles SET jugadas = victorias WHERE jugadas < victorias;",
};

// `texto` with each mark replaced by the backend's words.
std::string en_palabras_de(const motor_esquema &m, std::string texto)
{
  for (const auto &[marca, palabras] : {std::pair<std::string, const char *>{"@CLAVE", m.clave_propia},
                                        std::pair<std::string, const char *>{"@BYTES", m.bytes}}) {
    for (size_t i = texto.find(marca); i != std::string::npos; i = texto.find(marca, i)) {
      texto.replace(i, marca.size(), palabras);
    }
  }
  return texto;
}

}  // namespace

bool actualizar_esquema(const motor_esquema &m, std::string &error)
{
  if (!m.guion(m.conexion, m.empezar, nullptr, error)) {
    return false;
  }
  std::string version_texto;
  bool bien = (m.cerrojo[0] == '\0' || m.guion(m.conexion, m.cerrojo, nullptr, error)) &&
              m.guion(m.conexion, "CREATE TABLE IF NOT EXISTS version_esquema (version INTEGER NOT NULL)", nullptr, error) &&
              m.guion(m.conexion, "SELECT COALESCE(MAX(version), 0) FROM version_esquema", &version_texto, error);
  const auto version = static_cast<int32_t>(std::atoi(version_texto.c_str()));
  if (bien && version > VERSION_ESQUEMA) {
    error = "the database was written by a newer server (schema " + std::to_string(version) + ")";
    bien = false;
  }
  for (int32_t v = version; bien && v < VERSION_ESQUEMA; ++v) {
    bien = m.guion(m.conexion, en_palabras_de(m, PASOS_ESQUEMA[v]).c_str(), nullptr, error);
  }
  if (bien && version < VERSION_ESQUEMA) {
    const std::string sql = "DELETE FROM version_esquema; INSERT INTO version_esquema (version) VALUES (" +
                            std::to_string(VERSION_ESQUEMA) + ")";
    bien = m.guion(m.conexion, sql.c_str(), nullptr, error);
  }
  if (bien) {
    return m.guion(m.conexion, "COMMIT", nullptr, error);
  }
  std::string ignorado;
  m.guion(m.conexion, "ROLLBACK", nullptr, ignorado);
  return false;
}
