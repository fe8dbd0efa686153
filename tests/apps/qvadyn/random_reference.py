"""Dense reference for the random response: reads the problem as JSON on stdin,
forms H = (Lambda - w^2 I + i w C + i G)^-1 and S_Q = sum_c p_c (B_c + B_c^H)
with numpy at every frequency, and prints diag(Phi H S_Q H^H Phi^T) per
frequency as JSON on stdout."""
import json
import sys

import numpy as np

problem = json.load(sys.stdin)
lam = np.array(problem["eigenvalues"])
m = lam.size
C = np.array(problem["viscous"]).reshape(m, m, order="F")
G = np.array(problem["structural"]).reshape(m, m, order="F")
phi = np.array(problem["shapes"]).reshape(-1, m, order="F")
blocks = [np.array(b[0::2]).reshape(m, m, order="F") + 1j * np.array(b[1::2]).reshape(m, m, order="F")
          for b in problem["blocks"]]
result = []
for f, densities in zip(problem["frequencies"], problem["densities"]):
    w = 2 * np.pi * f
    H = np.linalg.inv(np.diag(lam) - w**2 * np.eye(m) + 1j * w * C + 1j * G)
    S = sum(p * (B + B.conj().T) for p, B in zip(densities, blocks))
    result.append(np.real(np.diag(phi @ H @ S @ H.conj().T @ phi.T)).tolist())
json.dump(result, sys.stdout)
