#pragma once
#include "render/sprites.h"

// The process-wide sprite set, decoded from the executable on first use.
const kovra::SpriteSet& loadSprites();
