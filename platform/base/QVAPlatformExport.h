#pragma once

// Marks a platform class or function as part of the interface that the
// component's shared library exports to its host. Everything else in the
// platform is compiled with hidden visibility.
#define QVA_PLATFORM_EXPORT __attribute__((visibility("default")))
