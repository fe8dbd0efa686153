#pragma once

// A node and one of its DOF places, both zero-based.
struct QVAFsmNodeDof {
  int node = 0;
  int dof = 0;
};
