// The three images the demo loads, each painted procedurally from fixed seeds.
#pragma once

#include "canvas.h"

// The spinning sprite: a soft pastel mandala, detailed down to its very centre.
Canvas paintSuikelois();

// The fog layer: 1024x1024 translucent white clouds that tile seamlessly.
Canvas paintSumuuh();

// The wall picture: a light stylised aircraft emblem, opaque.
Canvas paintAstiasto();
