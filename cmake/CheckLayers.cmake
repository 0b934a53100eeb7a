# Fails when an include crosses the layers: a lower library may not include a higher one, sqlite3.h
# belongs to the store alone, and nothing below the windows includes Qt. Run by the build (target
# check_layers) whenever a source file changes:
#   cmake -DSOURCE_DIR=... -DSTAMP=... -P CheckLayers.cmake

# Folder, then the folders its files may include from (project-root spelling).
set(core "repository/core")
set(store "${core};repository/store")
set(model "${store};repository/model")
set(mof "${model};repository/mof")
set(file "${mof};repository/file")
set(LAYERS repository/core repository/store repository/model repository/mof repository/file
           navigation report examples tools)
set(ALLOW_repository/core ${core})
set(ALLOW_repository/store ${store})
set(ALLOW_repository/model ${model})
set(ALLOW_repository/mof ${mof})
set(ALLOW_repository/file ${file})
set(ALLOW_navigation repository navigation)
set(ALLOW_report repository navigation report)
set(ALLOW_examples repository navigation report examples)
set(ALLOW_tools repository navigation report tools)
# Folders whose code is plain C++: no Qt header may appear there.
set(NO_QT repository navigation report/ProfilePage report/PageWriter report/Stylesheet report/SearchAddresses tools)

set(problems "")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/repository/*.h" "${SOURCE_DIR}/repository/*.cpp"
     "${SOURCE_DIR}/navigation/*.h" "${SOURCE_DIR}/navigation/*.cpp"
     "${SOURCE_DIR}/report/*.h" "${SOURCE_DIR}/report/*.cpp"
     "${SOURCE_DIR}/examples/*.h" "${SOURCE_DIR}/examples/*.cpp"
     "${SOURCE_DIR}/shell/*.h" "${SOURCE_DIR}/shell/*.cpp"
     "${SOURCE_DIR}/tools/*.h" "${SOURCE_DIR}/tools/*.cpp")
foreach(src IN LISTS sources)
  set(allowed "")
  set(layer "")
  foreach(folder IN LISTS LAYERS)
    if(src MATCHES "^${folder}/")
      set(layer "${folder}")
      set(allowed ${ALLOW_${folder}})
      break()
    endif()
  endforeach()
  set(plain FALSE)
  foreach(prefix IN LISTS NO_QT)
    if(src MATCHES "^${prefix}")
      set(plain TRUE)
    endif()
  endforeach()
  file(STRINGS "${SOURCE_DIR}/${src}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*[<\"]sqlite3\\.h[>\"]" AND NOT src MATCHES "^repository/store/.*\\.cpp$")
      string(APPEND problems "  ${src}: includes sqlite3.h; only the store's .cpp files (repository/store) may\n")
    endif()
    if(plain AND line MATCHES "#[ \t]*include[ \t]*<Q")
      string(APPEND problems "  ${src}: includes Qt (${line}); this folder is plain C++\n")
    endif()
    if(layer AND line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(target "${CMAKE_MATCH_1}")
      if(target MATCHES "^(repository|navigation|report|examples|shell|tools|tests)/")
        set(ok FALSE)
        foreach(a IN LISTS allowed)
          if(target MATCHES "^${a}/")
            set(ok TRUE)
          endif()
        endforeach()
        if(NOT ok)
          string(REPLACE ";" ", " allowedText "${allowed}")
          string(APPEND problems "  ${src}: includes ${target}, but ${layer} may include only ${allowedText}\n")
        endif()
      endif()
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "Layering rule broken (a lower library includes a higher one, or sqlite3.h or Qt "
                      "where they do not belong):\n${problems}")
endif()
file(TOUCH "${STAMP}")
