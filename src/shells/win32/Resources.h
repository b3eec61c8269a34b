/* The program's resources, shared by the resource script and the windows. */
#pragma once

#define IDI_ZILBA 1
#define IDB_BANNER_LEFT 101
#define IDB_BANNER_RIGHT 102
