# SPDX-License-Identifier: MIT
# Writes the zone rules the engine carries, so that Linux and Windows read times alike:
#   cmake -DZONEINFO=/usr/share/zoneinfo -DWINDOWS_ZONES=.../windowsZones.xml -DOUT=zones.cpp
#         -P compiled_zones.cmake
# Each zone of tzdata.zi keeps its TZif data from the second header on (64-bit times and the
# POSIX TZ footer); each name, links included, points at its zone; CLDR's windowsZones gives
# each Windows zone key its IANA name. A script, not a program: a cross build could not run a
# program built for its target.

cmake_minimum_required(VERSION 3.25)

foreach(input ZONEINFO WINDOWS_ZONES OUT)
    if(NOT DEFINED ${input})
        message(FATAL_ERROR "compiled_zones.cmake needs -D${input}=...")
    endif()
endforeach()

file(STRINGS "${ZONEINFO}/tzdata.zi" entries REGEX "^(# version |[ZL] )")
set(version "")
set(zones "")
set(links "")
foreach(entry IN LISTS entries)
    if(entry MATCHES "^# version ([^ ]+)$")
        set(version "${CMAKE_MATCH_1}")
    elseif(entry MATCHES "^Z ([^ ]+) ")
        list(APPEND zones "${CMAKE_MATCH_1}")
    elseif(entry MATCHES "^L ([^ ]+) ([^ ]+)$")
        list(APPEND links "${CMAKE_MATCH_2}=${CMAKE_MATCH_1}")
    endif()
endforeach()
if(version STREQUAL "" OR NOT zones)
    message(FATAL_ERROR "${ZONEINFO}/tzdata.zi names no version or no zone")
endif()

# A big-endian 32-bit count of the header that starts at hex digit `at`.
function(header_count hex at index out)
    math(EXPR digit "${at} + 40 + ${index} * 8")
    string(SUBSTRING "${hex}" ${digit} 8 count)
    math(EXPR count "0x${count}")
    set(${out} ${count} PARENT_SCOPE)
endfunction()

# Escapes 32 bytes a line, as C++ string literal pieces.
string(REPEAT "..." 32 line_of_bytes)
set(data_rows "")
set(index 0)
foreach(zone IN LISTS zones)
    file(READ "${ZONEINFO}/${zone}" hex HEX)
    # "TZif" and a version of 2 or later: the 64-bit data follows the 32-bit block.
    if(NOT hex MATCHES "^545a6966(3[2-9])")
        message(FATAL_ERROR "${ZONEINFO}/${zone}: not a TZif file of version 2 or later")
    endif()
    header_count("${hex}" 0 0 isut)
    header_count("${hex}" 0 1 isstd)
    header_count("${hex}" 0 2 leap)
    header_count("${hex}" 0 3 time)
    header_count("${hex}" 0 4 type)
    header_count("${hex}" 0 5 char)
    math(EXPR second "2 * (44 + ${time} * 5 + ${type} * 6 + ${char} + ${leap} * 8 + ${isstd} + ${isut})")
    string(SUBSTRING "${hex}" ${second} -1 hex)
    if(NOT hex MATCHES "^545a6966")
        message(FATAL_ERROR "${ZONEINFO}/${zone}: no second TZif header where the first one says")
    endif()
    string(LENGTH "${hex}" digits)
    math(EXPR bytes "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
    string(REGEX REPLACE "(${line_of_bytes})" "\\1\"\n     \"" escaped "${escaped}")
    string(APPEND data_rows "    // ${zone}\n    {\"${escaped}\", ${bytes}},\n")
    set("zone_index_${zone}" ${index})
    math(EXPR index "${index} + 1")
endforeach()

set(names ${zones})
foreach(link IN LISTS links)
    string(REPLACE "=" ";" fields "${link}")
    list(GET fields 0 name)
    list(GET fields 1 target)
    if(NOT DEFINED "zone_index_${target}")
        message(FATAL_ERROR "${ZONEINFO}/tzdata.zi: ${name} links to ${target}, which is no zone")
    endif()
    set("zone_index_${name}" ${zone_index_${target}})
    list(APPEND names "${name}")
endforeach()
# Byte order, as std::string_view compares: the names alone, since "EST" comes before "EST5EDT".
list(SORT names COMPARE STRING)
set(name_rows "")
foreach(name IN LISTS names)
    string(APPEND name_rows "    {\"${name}\", ${zone_index_${name}}},\n")
endforeach()

file(STRINGS "${WINDOWS_ZONES}" map_lines REGEX "<mapZone [^>]*territory=\"001\"")
set(windows "")
foreach(line IN LISTS map_lines)
    # Territory 001 names the one zone each Windows key stands for.
    if(NOT line MATCHES "other=\"([^\"]+)\"")
        message(FATAL_ERROR "${WINDOWS_ZONES}: a mapZone without its Windows name: ${line}")
    endif()
    set(key "${CMAKE_MATCH_1}")
    if(NOT line MATCHES "type=\"([^\" ]+)\"")
        message(FATAL_ERROR "${WINDOWS_ZONES}: a mapZone without one IANA name: ${line}")
    endif()
    list(APPEND windows "${key}")
    set("iana_of_${key}" "${CMAKE_MATCH_1}")
endforeach()
if(NOT windows)
    message(FATAL_ERROR "${WINDOWS_ZONES}: no mapZone of territory 001")
endif()
list(SORT windows COMPARE STRING)
set(windows_rows "")
foreach(key IN LISTS windows)
    string(APPEND windows_rows "    {\"${key}\", \"${iana_of_${key}}\"},\n")
endforeach()

file(WRITE "${OUT}.tmp" "// Made by compiled_zones.cmake from tzdata ${version} and CLDR's windowsZones.xml: do not edit.
#include \"read/compiled_zones.h\"

#include <iterator>

namespace quillbox::detail {

namespace {

struct Piece {
    const char* bytes;
    std::size_t size;
};

constexpr Piece kZoneData[] = {
${data_rows}};

constexpr CompiledZoneName kZoneNames[] = {
${name_rows}};

constexpr WindowsZoneName kWindowsZones[] = {
${windows_rows}};

}  // namespace

std::string_view CompiledTzdataVersion() {
    return \"${version}\";
}

std::span<const CompiledZoneName> CompiledZoneNames() {
    return kZoneNames;
}

std::string_view CompiledZoneData(std::size_t zone) {
    return zone < std::size(kZoneData) ? std::string_view(kZoneData[zone].bytes, kZoneData[zone].size)
                                       : std::string_view();
}

std::span<const WindowsZoneName> WindowsZoneNames() {
    return kWindowsZones;
}

}  // namespace quillbox::detail
")
file(RENAME "${OUT}.tmp" "${OUT}")
