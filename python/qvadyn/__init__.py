"""Python side of qvadyn: figures of results files (qvadyn.plot)."""
