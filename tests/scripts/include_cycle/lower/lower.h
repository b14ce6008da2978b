#pragma once

#include "upper/upper.h"
