# Every Linkvet target calls linkvet_warnings() so the whole tree builds with one warning set.
function(linkvet_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                           -Wnon-virtual-dtor -Wold-style-cast -Wcast-qual -Wformat=2)
    if(LINKVET_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
