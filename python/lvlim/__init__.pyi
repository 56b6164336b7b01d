from typing import Any, Literal, overload

import numpy as np
import numpy.typing as npt

__all__ = ["limits", "lognormal_mean", "Limits", "LognormalMean", "DEFAULT_TOLERANCE"]

DEFAULT_TOLERANCE: float

_Kind = Literal["two-sided", "upper", "lower"]
_Float = float | np.floating[Any]

class Limits:
    kind: _Kind
    k_lower: Any  # float, or ndarray of float64
    k_upper: Any
    lower: Any
    upper: Any
    iterations_lower: Any  # int, or ndarray of int32
    iterations_upper: Any
    status: Any  # str, or ndarray of str: "ok" or "search failed"
    messages: Any  # list[str], or ndarray of list[str]
    def __init__(self, kind: str, **fields: Any) -> None: ...

def limits(
    sigma: npt.ArrayLike,
    nu: npt.ArrayLike,
    *,
    kind: _Kind = "two-sided",
    confidence: npt.ArrayLike = 0.95,
    mu: npt.ArrayLike = 0.0,
    lam: float = 0.5,
    gammasquared: npt.ArrayLike | None = None,
    max_iterations: int = 200,
    bessel_arg_top: float = 800.0,
    tolerance: float = ...,
    result_tol: float = -1.0,
    workers: int | None = None,
) -> Limits: ...

class LognormalMean:
    FIELDS: tuple[str, ...]
    n: int
    log_mean: float
    log_sd: float
    nu: float
    gammasquared: float
    confidence: float
    kind: _Kind
    mvue: float
    sample_mean: float
    plug_in: float
    k_lower: float
    k_upper: float
    log_lower: float
    log_upper: float
    mean_lower: float
    mean_upper: float
    status: Literal["ok", "search failed"]
    messages: list[str]
    def __init__(self, **fields: Any) -> None: ...
    def as_dict(self) -> dict[str, Any]: ...

def lognormal_mean(
    x: npt.ArrayLike, *, confidence: float = 0.95, kind: _Kind = "two-sided"
) -> LognormalMean: ...
from ._assessment import Assessment as Assessment, assess as assess
