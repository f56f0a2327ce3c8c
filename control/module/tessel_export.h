// Marks a function as one of the module's exports; every other symbol of
// the module stays hidden.
#pragma once

#define TESSEL_EXPORT extern "C" __attribute__((visibility("default")))
