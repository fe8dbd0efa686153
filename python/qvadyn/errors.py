"""The errors qvadyn raises: every refusal and failure of the application
arrives as a subclass of :class:`Error`, carrying the library's message and
error number."""


class Error(Exception):
    """An error of qvadyn: ``message`` is the library's text (it names the
    file, dataset, key or argument and the first bad index where they apply),
    ``error_number`` the component's error number (0 for the application's
    own checks). Catch :class:`InputError` or :class:`SolveError` to tell bad
    input from a failed run."""

    def __init__(self, message: str, error_number: int = 0) -> None:
        super().__init__(message)
        self.message: str = message
        self.error_number: int = error_number

    def __str__(self) -> str:
        return self.message


class InputError(Error, ValueError):
    """Bad input: a value, array shape, file, key or node the application
    refuses. Also a ValueError."""


class SolveError(Error, RuntimeError):
    """A failed run: a file that cannot be written, a singular system, memory.
    Also a RuntimeError."""
