# The libraries of the formats the program can do without: DICOM (DCMTK), camera raw (LibRaw),
# HD Photo (jxrlib) and JPEG 2000 (OpenJPEG). Each is used when found; GW_WITH_<NAME>=OFF leaves
# it out even then. Without one, the format's registry row stays but has no codec, so loading
# such a file fails cleanly. Sets GW_OPTIONAL_FORMATS (the built-in ones' file names under
# imagefile/formats/, for the source and test lists), GW_CODEC_LIBRARIES for the core and
# GW_CODEC_DEFINITIONS (GW_HAVE_<NAME>) for the format registry and its tests.

option(GW_WITH_DCMTK "Read DICOM pictures through DCMTK when it is found" ON)
option(GW_WITH_LIBRAW "Read camera raw pictures through LibRaw when it is found" ON)
option(GW_WITH_JXRLIB "Read and write HD Photo through jxrlib when it is found" ON)
option(GW_WITH_OPENJPEG "Read and write JPEG 2000 through OpenJPEG when it is found" ON)

set(GW_OPTIONAL_FORMATS)
set(GW_CODEC_LIBRARIES)
set(GW_CODEC_DEFINITIONS)
set(gw_with)
set(gw_without)

# Records whether a codec library was found; the libraries to link follow the found variable.
macro(gw_codec_result name file format found)
    if(${found})
        set(GW_HAVE_${name} ON)
        list(APPEND GW_OPTIONAL_FORMATS ${file})
        list(APPEND GW_CODEC_LIBRARIES ${ARGN})
        list(APPEND GW_CODEC_DEFINITIONS GW_HAVE_${name})
        list(APPEND gw_with "${format}")
    else()
        set(GW_HAVE_${name} OFF)
        list(APPEND gw_without "${format}")
    endif()
endmacro()

if(GW_WITH_DCMTK)
    find_package(DCMTK CONFIG QUIET)
endif()
# dcmjpeg and dcmjpls decode the compressed transfer syntaxes.
gw_codec_result(DCMTK dicom "DICOM (DCMTK)" DCMTK_FOUND
    DCMTK::dcmdata DCMTK::dcmimgle DCMTK::dcmimage DCMTK::dcmjpeg DCMTK::dcmjpls)

if(GW_WITH_LIBRAW)
    pkg_check_modules(LIBRAW QUIET IMPORTED_TARGET libraw)
endif()
gw_codec_result(LIBRAW raw "camera raw (LibRaw)" LIBRAW_FOUND PkgConfig::LIBRAW)

if(GW_WITH_JXRLIB)
    pkg_check_modules(JXR QUIET IMPORTED_TARGET libjxr)
endif()
gw_codec_result(JXRLIB hdphoto "HD Photo (jxrlib)" JXR_FOUND PkgConfig::JXR)

if(GW_WITH_OPENJPEG)
    pkg_check_modules(OPENJPEG QUIET IMPORTED_TARGET libopenjp2)
endif()
gw_codec_result(OPENJPEG jp2 "JPEG 2000 (OpenJPEG)" OPENJPEG_FOUND PkgConfig::OPENJPEG)

list(JOIN gw_with ", " gw_with)
list(JOIN gw_without ", " gw_without)
if(gw_with)
    message(STATUS "Optional formats built in: ${gw_with}")
endif()
if(gw_without)
    message(STATUS "Optional formats left out (their files are not read): ${gw_without}")
endif()
