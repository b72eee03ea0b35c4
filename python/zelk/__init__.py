"""zelk: market events to exact, fixed-width feature vectors for machine-learning models."""

from zelk import _zelk
from zelk._zelk import *  # noqa: F401,F403

__all__ = list(_zelk.__all__)
