# cmake -DFUENTES=dir -DREGLAS="module:above above...;..." -DSELLO=file -P capas.cmake
# Refuses the build when a module's source includes the header of a module
# above it: the layers point one way. Each rule names a module (a folder of
# FUENTES) and the modules its files must never include; a name in angle
# brackets ("<thread>") is a system header they must never include. SELLO
# is written when every file keeps to its rules, so the check runs again
# only when a source changes.
set(faltas "")
foreach(regla IN LISTS REGLAS)
  string(REPLACE ":" ";" partes "${regla}")
  list(GET partes 0 modulo)
  list(GET partes 1 prohibidos)
  string(REPLACE " " ";" prohibidos "${prohibidos}")
  file(GLOB ficheros ${FUENTES}/${modulo}/*.cpp ${FUENTES}/${modulo}/*.h)
  foreach(fichero IN LISTS ficheros)
    file(STRINGS ${fichero} inclusiones REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(linea IN LISTS inclusiones)
      foreach(arriba IN LISTS prohibidos)
        if(arriba MATCHES "^<")
          string(FIND "${linea}" "${arriba}" sistema)
          if(NOT sistema EQUAL -1)
            file(RELATIVE_PATH nombre ${FUENTES} ${fichero})
            string(STRIP "${linea}" linea)
            string(APPEND faltas "  ${nombre}: ${linea} (${modulo} must not reach ${arriba})\n")
          endif()
        elseif(linea MATCHES "[\"<]${arriba}/")
          file(RELATIVE_PATH nombre ${FUENTES} ${fichero})
          string(STRIP "${linea}" linea)
          string(APPEND faltas "  ${nombre}: ${linea} (${modulo} is below ${arriba})\n")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(NOT faltas STREQUAL "")
  message(FATAL_ERROR "A module includes the header of a module above it:\n${faltas}")
endif()
file(TOUCH ${SELLO})
