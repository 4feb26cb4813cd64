# Installs the build into a scratch prefix and checks that every file lands where the desktop
# and the package tools look for it.
#   cmake -DBUILD_DIR=... -DAPP_ID=... -DVERSION=... -DWITH_MAN=0|1 -DWITH_GUI=0|1 -P install_layout.cmake

set(prefix ${BUILD_DIR}/dist-install-test)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
    RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(expected
    bin/glyphwright-cli
    share/applications/${APP_ID}.desktop
    share/metainfo/${APP_ID}.metainfo.xml
    share/icons/hicolor/scalable/apps/${APP_ID}.svg
    share/bash-completion/completions/glyphwright-cli
    share/doc/glyphwright/LICENSE
    share/glyphwright/Languages/Chinese.isl)
if(WITH_GUI)
    list(APPEND expected bin/glyphwright)
endif()
if(WITH_MAN)
    list(APPEND expected share/man/man1/glyphwright.1 share/man/man1/glyphwright-cli.1)
endif()
set(failures)
foreach(f ${expected})
    if(NOT EXISTS ${prefix}/${f})
        list(APPEND failures "missing ${f}")
    endif()
endforeach()

# Each hicolor PNG has the size of its folder (IHDR width and height, big-endian).
foreach(size 16 24 32 48 64 128 256)
    set(png ${prefix}/share/icons/hicolor/${size}x${size}/apps/${APP_ID}.png)
    if(NOT EXISTS ${png})
        list(APPEND failures "missing ${size}x${size} icon")
        continue()
    endif()
    file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
    math(EXPR hex_size "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${hex_size}" 2 -1 digits)
    string(LENGTH "${digits}" len)
    while(len LESS 8)
        string(PREPEND digits 0)
        string(LENGTH "${digits}" len)
    endwhile()
    if(NOT header STREQUAL "${digits}${digits}")
        list(APPEND failures "${size}x${size} icon has IHDR ${header}")
    endif()
endforeach()

# The program takes no file arguments: no field codes, no MIME types.
file(STRINGS ${prefix}/share/applications/${APP_ID}.desktop exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=glyphwright")
    list(APPEND failures "desktop entry has ${exec}")
endif()
file(STRINGS ${prefix}/share/applications/${APP_ID}.desktop mime REGEX "^MimeType=")
if(mime)
    list(APPEND failures "desktop entry declares ${mime}")
endif()
file(STRINGS ${prefix}/share/metainfo/${APP_ID}.metainfo.xml release REGEX "<release ")
if(NOT release MATCHES "version=\"${VERSION}\"")
    list(APPEND failures "metainfo release is ${release}, not ${VERSION}")
endif()

file(REMOVE_RECURSE ${prefix})
if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "install layout:\n  ${text}")
endif()
