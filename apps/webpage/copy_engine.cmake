# Copies the web engine (impactsim-engine.js and .wasm) from FROM to TO when
# the web preset has built it; without it the pages load but cannot run.
file(MAKE_DIRECTORY ${TO})
foreach(name impactsim-engine.js impactsim-engine.wasm)
  if(EXISTS ${FROM}/${name})
    file(COPY_FILE ${FROM}/${name} ${TO}/${name} ONLY_IF_DIFFERENT)
  else()
    message(STATUS "web: no ${FROM}/${name}; build the web preset for runs in the pages")
  endif()
endforeach()
