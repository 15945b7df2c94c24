# Shared set-up of the Sonarel test files: tcltest, the built package, the
# device simulator's request log, and the exit status CTest reads.
#
# The tests run in a tclsh that has libdevsim.so preloaded (see devsim.cpp)
# and SONAREL_LIB_DIR naming the build's lib folder.

package require tcltest 2.5
namespace import ::tcltest::*
tcltest::configure {*}$argv

set sonarel_lib_dir $env(SONAREL_LIB_DIR)
set sonarel_lib [file join $sonarel_lib_dir sonarel libsonarel.so]

# Only what each test sets reaches the simulator.
foreach name [array names env DEVSIM_*] {
    unset env($name)
}
set devlog [file join [temporaryDirectory] devsim-[pid].log]
set env(DEVSIM_LOG) $devlog

proc devlog_clear {} {
    close [open $::devlog w]
}

# The lines the simulator logged since the last clear: the requests that
# reached the devices, and the opens and closes of the devices.
proc devlog {} {
    if {![file exists $::devlog]} {
        return {}
    }
    set f [open $::devlog]
    set lines [split [string trimright [read $f] \n] \n]
    close $f
    return $lines
}

# Runs script and gives its return code and result as a list.
proc outcome {script} {
    set code [catch {uplevel 1 $script} result]
    return [list $code $result]
}

# Prints the summary and ends the process with status 1 when a test failed.
proc finish {} {
    set failed $::tcltest::numTests(Failed)
    file delete -force $::devlog
    cleanupTests
    exit [expr {$failed != 0}]
}
