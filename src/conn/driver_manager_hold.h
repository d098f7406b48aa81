// driver_manager_hold.h - a reference to the driver manager's module from
// the first successful OP_INIT to OP_SHUTDOWN (Windows). Freeing the last
// connection of a driver unloads the driver, and a host that unloads this
// DLL without OP_SHUTDOWN would otherwise take odbc32 with it while its
// connections and their drivers are still in use: held, the module stays
// and the connections leak instead of crashing the process.
#ifndef RORI_DRIVER_MANAGER_HOLD_H
#define RORI_DRIVER_MANAGER_HOLD_H

// Takes the reference unless it is held already.
void driver_manager_hold();

// Gives the reference back, if it is held.
void driver_manager_release();

#endif
