# The hardening Debian builds its packages with: stack protector, fortified C library calls
# (they need optimisation), and a read-only relocation table bound at start-up. Left out of the
# sanitizer and fuzzing builds, whose instrumentation does that work its own way.
if(NOT LINKVET_SANITIZE AND NOT LINKVET_FUZZ)
    add_compile_options(-fstack-protector-strong
                        $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
