// Resource identifiers, shared by the resource script and the code.
#pragma once

#define IDI_PRAVONELL 1
#define IDR_BANNER 101
#define IDR_TILE 102
#define IDR_BROWSE 103
#define IDR_TERMS 104
