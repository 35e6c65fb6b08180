# SPDX-License-Identifier: GPL-3.0-or-later
"""Whether two NetCDF exports hold the same: every variable's dimensions,
type, chunking, attributes (_FillValue among them) and values, through
python3-netcdf4 without masking; then both decoded by python3-xarray (fill
values masked, times decoded), identical with their attributes and their
_FillValue encodings. The global attributes that name the time of the
export (date_created, history) are left out. Prints "same" or the first
difference; exit status 0 when the same.

Usage: python3 scripts/lib/same_netcdf.py A.nc B.nc
"""
import sys

import netCDF4
import numpy
import xarray

SKIPPED = {"date_created", "history"}


def differ(what):
    print("different: " + what)
    sys.exit(1)


def same_value(a, b):
    return numpy.array_equal(numpy.asarray(a), numpy.asarray(b))


def main(a_path, b_path):
    a, b = netCDF4.Dataset(a_path), netCDF4.Dataset(b_path)
    if [k for k in a.ncattrs() if k not in SKIPPED] != [k for k in b.ncattrs() if k not in SKIPPED]:
        differ("global attribute names")
    for k in a.ncattrs():
        if k not in SKIPPED and not same_value(a.getncattr(k), b.getncattr(k)):
            differ("global attribute " + k)
    if list(a.variables) != list(b.variables):
        differ("variable names")
    for name in a.variables:
        va, vb = a[name], b[name]
        va.set_auto_maskandscale(False)
        vb.set_auto_maskandscale(False)
        if va.dimensions != vb.dimensions or va.dtype != vb.dtype or va.chunking() != vb.chunking():
            differ(name + ": dimensions, type or chunking")
        if va.ncattrs() != vb.ncattrs():
            differ(name + ": attribute names")
        for k in va.ncattrs():
            if not same_value(va.getncattr(k), vb.getncattr(k)):
                differ(name + ": attribute " + k)
        if not same_value(va[:], vb[:]):
            differ(name + ": values")
    xa, xb = xarray.open_dataset(a_path), xarray.open_dataset(b_path)
    for ds in (xa, xb):
        for k in SKIPPED:
            ds.attrs.pop(k, None)
    try:
        xarray.testing.assert_identical(xa, xb)
    except AssertionError as error:
        differ("decoded by xarray: " + str(error)[:400])
    for name in xa.variables:
        if xa[name].encoding.get("_FillValue") != xb[name].encoding.get("_FillValue"):
            differ(name + ": _FillValue encoding")
    print("same")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
