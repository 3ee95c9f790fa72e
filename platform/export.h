#pragma once
// Everything the setup module exports is marked with KO_EXPORT; the rest stays hidden.
#define KO_EXPORT __attribute__((visibility("default")))
