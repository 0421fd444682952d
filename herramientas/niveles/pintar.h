// niveles pintar: a picture of a level as the game draws it.
#pragma once

// niveles pintar N fichero.png [espejos a1 a2 ...]
// `argumentos` are the words after "pintar". Returns the exit status.
int pintar(int num_argumentos, char **argumentos);
