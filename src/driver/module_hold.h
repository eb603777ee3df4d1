#pragma once

// While a camera object exists the module keeps a reference to itself, so
// that a host that unloads it without d_Finalize (after an unplug d_GetOK is
// 0, and a host may take that for "nothing to finalize") does not unmap the
// code that the camera's peer window, its timers, its device notification
// and its exposure worker still run. The reference goes when the object is
// destroyed, always inside an export, while the host holds a reference of
// its own; so a host that finalizes can still unload the module for good.
void HoldModule();
void LetGoOfModule();
