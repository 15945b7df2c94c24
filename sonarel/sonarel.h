// The entry points Tcl's load command and the interpreter call: the init
// function of the package and the two command procedures.
#pragma once

#include <tcl.h>

extern "C" {
DLLEXPORT int Sonarel_Init(Tcl_Interp *interp);
DLLEXPORT int VolumeCmd(ClientData client_data, Tcl_Interp *interp, int argc, const char *argv[]);
DLLEXPORT int CDROM_Cmd(ClientData client_data, Tcl_Interp *interp, int argc, const char *argv[]);
}
