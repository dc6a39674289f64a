#pragma once
// The library's binary interface. Brennock is built with hidden visibility,
// so the program sees exactly what carries BRENNOCK_API: the codec classes,
// MainProcessor and the run loop's entry. Everything else stays inside the
// library; the engine's own tests link the same objects statically.

#define BRENNOCK_API __attribute__((visibility("default")))
