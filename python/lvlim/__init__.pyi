from typing import Any, Iterator, Literal, overload

import numpy as np
import numpy.typing as npt

from ._assessment import Assessment as Assessment, assess as assess
from ._planning import PlanValues as PlanValues, SampleSize as SampleSize, expected_ratio as expected_ratio, power as power, sample_size as sample_size

__all__ = ["limits", "lognormal_mean", "Limits", "LognormalMean", "DEFAULT_TOLERANCE",
           "assess", "Assessment", "power", "expected_ratio", "sample_size", "PlanValues",
           "SampleSize", "__version__"]

__version__: str
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
    messages: Any  # list[str], or ndarray of tuple[str, ...]
    def __init__(self, kind: str, **fields: Any) -> None: ...
    def confidence_interval(self) -> tuple[Any, Any]: ...
    def __iter__(self) -> Iterator[Any]: ...
    def __eq__(self, other: object) -> bool: ...

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
    refine: bool = True,
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
    omitted: int
    def __init__(self, omitted: Any = 0, **fields: Any) -> None: ...
    def as_dict(self) -> dict[str, Any]: ...
    def confidence_interval(self) -> tuple[Any, Any]: ...
    def __iter__(self) -> Iterator[Any]: ...
    def __eq__(self, other: object) -> bool: ...

def lognormal_mean(
    x: npt.ArrayLike,
    *,
    confidence: npt.ArrayLike = 0.95,
    kind: _Kind = "two-sided",
    axis: int | None = None,
    nan_policy: Literal["raise", "omit"] = "raise",
) -> LognormalMean: ...
