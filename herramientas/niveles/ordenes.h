// The level tool's commands that live outside niveles.cpp. Each takes the
// words after its name and returns the exit status.
#pragma once

// niveles resolver [N | FICHERO.txt] [--resumen] [--partidas K] [--desde X] [--registro R]
int orden_resolver(int num_argumentos, char **argumentos);

// niveles estadisticas
int orden_estadisticas(int num_argumentos, char **argumentos);
