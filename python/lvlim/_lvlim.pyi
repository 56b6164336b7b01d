from typing import Any

import numpy as np
import numpy.typing as npt

default_tolerance: float
default_max_iterations: int
default_bessel_arg_top: float
default_result_tol: float
min_sigma: float
max_sigma: float
min_nu: float
max_nu: float

def limits(
    sigma: npt.NDArray[np.float64],
    nu: npt.NDArray[np.float64],
    mu: npt.NDArray[np.float64],
    confidence: npt.NDArray[np.float64],
    gammasquared: npt.NDArray[np.float64],
    kind: str,
    lam: float,
    max_iterations: int,
    bessel_arg_top: float,
    tolerance: float,
    result_tol: float,
    refine: bool,
    workers: int,
) -> dict[str, Any]: ...
def check_limits(
    sigma: npt.NDArray[np.float64],
    nu: npt.NDArray[np.float64],
    mu: npt.NDArray[np.float64],
    confidence: npt.NDArray[np.float64],
    gammasquared: npt.NDArray[np.float64],
    lam: float,
    max_iterations: int,
    bessel_arg_top: float,
    tolerance: float,
    result_tol: float,
) -> tuple[int, str] | None: ...
def lognormal_mean(
    x: npt.NDArray[np.float64], confidence: npt.NDArray[np.float64], kind: str
) -> list[dict[str, Any]]: ...
def psi(n: int, t: float) -> float: ...
