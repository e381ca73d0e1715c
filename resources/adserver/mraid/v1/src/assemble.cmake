# Assembles the three rich-media scripts of ../ from their one source, core.js,
# each running it for its kind of page. The assembled scripts are committed,
# so the ad server serves resources/adserver/ as it stands.
#   cmake -P resources/adserver/mraid/v1/src/assemble.cmake             rewrites them
#   cmake -DCHECK=ON -P resources/adserver/mraid/v1/src/assemble.cmake  fails when one differs
set(source_dir ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(script_dir ${source_dir} DIRECTORY)
file(READ ${source_dir}/core.js core)

set(files mraid_app_banner.js mraid_app_interstitial.js mraid_app_expanded_banner.js)
set(kinds banner interstitial expanded)
set(stale)
foreach(file kind IN ZIP_LISTS files kinds)
  set(text "// Generated from src/core.js by src/assemble.cmake: edit those and run the\n")
  string(APPEND text "// assembly again (`cmake -P resources/adserver/mraid/v1/src/assemble.cmake`).\n")
  string(APPEND text "(function (window, document, kind) {\n${core}})(window, document, \"${kind}\");\n")
  set(path ${script_dir}/${file})
  if(CHECK)
    set(current "")
    if(EXISTS ${path})
      file(READ ${path} current)
    endif()
    if(NOT current STREQUAL text)
      list(APPEND stale ${file})
    endif()
  else()
    file(WRITE ${path} "${text}")
  endif()
endforeach()
if(stale)
  message(FATAL_ERROR "not assembled from src/core.js: ${stale}; run cmake -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
