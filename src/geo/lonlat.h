// The check of a site given by longitude and latitude in degrees: plain
// arithmetic, without GeographicLib, for every reader of such sites.
#ifndef LOCIWEAVER_GEO_LONLAT_H
#define LOCIWEAVER_GEO_LONLAT_H

#include <cmath>

// lonlatwhy: null when lon and lat (degrees) place a site: finite, the
//   latitude from -90 to 90, the longitude from -180 to 360; otherwise the
//   words of what is wrong, and which (out) the coordinate at fault, 1 the
//   longitude, 2 the latitude.  Needs no GeographicLib.
inline const char* lonlatwhy(double lon, double lat, int& which)
{
    which = 1;
    if (!std::isfinite(lon)) return "the longitude is not a finite number";
    if (!(lon >= -180.0 && lon <= 360.0)) return "a longitude lies from -180 to 360 degrees";
    which = 2;
    if (!std::isfinite(lat)) return "the latitude is not a finite number";
    if (!(lat >= -90.0 && lat <= 90.0)) return "a latitude lies from -90 to 90 degrees";
    which = 0;
    return nullptr;
}

#endif
