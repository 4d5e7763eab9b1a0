#!/usr/bin/env bash
# The census of the updater's own file work, in platform calls and in what Wine makes of
# them. First the calls themselves, on the in-memory machine (quorvel_census: every call the
# logic asks of the platform, by what it was made on, per listed file). Then the same runs
# under Wine, traced with strace: a start-up fetch of the bench release (300 files) into an
# empty desktop folder, a no-change normal-mode run over an installation of the same release,
# and a normal-mode run in which every file changed, each by the default and the protected
# build. Every system call is put down to
# the Windows call that made it (Wine's relay log of the calls, in the same trace), and each
# Windows call to what it was made on (bench/census/wine_census.py). A run that did not end
# as it must gives no census. Nothing here is timed: strace slows every call.
#   bench/census.sh [PORT]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
command -v strace >/dev/null || no_figure "the census needs strace (apt-get install strace)"

bash scripts/setup.sh
build_host update-server quorvel-publish quorvel_census quorvel_census_signed
build_windows "${1:-}" QuorvelE2E QuorvelSigned AppLaunch no-change-run no-change-run-signed \
    call-costs
work=$root/build/bench/census
mkdir -p "$work"
for census in quorvel_census quorvel_census_signed; do
    echo "=== $census (in-memory machine)"
    "build/host/bench/$census" || no_figure "$census did not end as it must"
done

make_bench_release
start_server "$release"
start_session
install_program build/windows/e2e/Quorvel.exe Quorvel
install_program build/windows/e2e-signed/Quorvel.exe QuorvelSigned
install_program build/windows/bench/no-change-run.exe bench-tools
install_program build/windows/bench/no-change-run-signed.exe bench-tools
install_program build/windows/bench/call-costs.exe bench-tools

# What each kind of call costs, untraced (the time of a call, not its count).
echo "=== one call of each kind under Wine, untraced: median of 5 batches"
rm -rf "$bench_prefix/drive_c/bench-costs"
wine_in_session 'C:\bench-tools\call-costs.exe' 'C:\bench-costs\Tarnell Temp Files' ||
    no_figure "call-costs failed: $(wine_said)"
rm -rf "$bench_prefix/drive_c/bench-costs"

# The Windows calls whose system calls are counted: Wine writes each one to the program's
# stderr while WINEDEBUG has +relay.
relayed=kernel32.GetFileAttributesA,kernel32.FindFirstFileA,kernel32.FindNextFileA
relayed+=,kernel32.CreateDirectoryA,kernel32.MoveFileA,kernel32.DeleteFileA,kernel32.CreateFileA
relayed+=,kernel32.WriteFile,kernel32.ReadFile,kernel32.FlushFileBuffers,kernel32.SetFilePointerEx
relayed+=,kernel32.CloseHandle,kernel32.GetEnvironmentVariableA
relayed+=,wininet.InternetCrackUrlA,wininet.InternetConnectA,wininet.InternetSetOptionA
relayed+=,wininet.HttpOpenRequestA,wininet.HttpSendRequestA,wininet.HttpQueryInfoA
relayed+=,wininet.InternetQueryDataAvailable,wininet.InternetReadFile,wininet.InternetCloseHandle
relayed+=,user32.ShowWindow,user32.SetWindowTextA,user32.PeekMessageA,user32.DispatchMessageA,user32.TranslateMessage
relayed+=,bcrypt.BCryptCreateHash,bcrypt.BCryptHashData,bcrypt.BCryptFinishHash
relayed+=,bcrypt.BCryptDestroyHash
"$wine_run" "$bench_prefix" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
    /d "${relayed//,/;}" /f >/dev/null 2>&1
bench_cleanups=("\"$wine_run\" \"$bench_prefix\" reg delete 'HKCU\\Software\\Wine\\Debug' /v RelayInclude /f >/dev/null 2>&1" "${bench_cleanups[@]}")
syscalls=openat,newfstatat,statx,lstat,stat,access,faccessat,faccessat2,getdents64,mkdir,mkdirat
syscalls+=,rename,renameat,renameat2,unlink,unlinkat,fsync,fdatasync,write,pwrite64

# Traces the wineserver from now until traced_end; sets its log.
traced_begin() { # NAME
    server_trace=$work/$1.server
    strace -f -qq -ttt -y -s 1000 -e trace="$syscalls" -o "$server_trace" -p "$(session_wineserver)" &
    server_tracer=$!
    sleep 1
    bench_wrap=(env WINEDEBUG=+relay strace -f -qq -ttt -y -s 1000 -e trace="$syscalls"
        -o "$work/$1.client")
}
traced_end() { # NAME OWN_FOLDER TARGET_FOLDER
    bench_wrap=()
    kill -INT "$server_tracer"
    wait "$server_tracer" 2>/dev/null || true
    python3 bench/census/wine_census.py "$1" "$work/$1.client" "$server_trace" "$2" "$3" \
        "$release/filelist.txt" "$release_files"
}

desktop_target="C:\\users\\$(basename "$(dirname "$desktop")")\\Desktop\\Tarnell Temp Files\\"
for build in Quorvel QuorvelSigned; do
    extra=()
    [ "$build" = Quorvel ] || extra=(filelist.txt.sig)
    echo "=== $build.exe: start-up fetch"
    traced_begin "$build-fetch"
    quorvel_round "$build" "${extra[@]}" >/dev/null
    traced_end "$build-fetch" "C:\\$build\\" "$desktop_target"
done

# The local work between files, from Wine's relay log with its times (no strace).
for build in Quorvel QuorvelSigned; do
    extra=()
    [ "$build" = Quorvel ] || extra=(filelist.txt.sig)
    echo "=== $build.exe: start-up fetch, the time between downloads"
    bench_wrap=(env WINEDEBUG=+timestamp,+relay)
    quorvel_round "$build" "${extra[@]}" >/dev/null
    bench_wrap=()
    cp "$work/last.out" "$work/$build-gaps.log"
    python3 bench/census/wine_gaps.py "$work/$build-gaps.log" || no_figure "no gaps in the relay log"
done

# An installation of the release, its local list the served one (no-change) or one with
# older stamps for every file (changed: each is noted in the run record, backed up, fetched
# and replaced).
install=$bench_prefix/drive_c/bench-census
for runner in no-change-run no-change-run-signed; do
    for mode in nochange changed; do
        echo "=== $runner.exe: normal-mode run, $mode"
        rm -rf "$install" && mkdir -p "$install"
        cp -r "$release"/. "$install/"
        rm -f "$install/filelist.txt.sig" "$install/filelist.txt"
        if [ "$mode" = nochange ]; then
            cp "$release/filelist.txt" "$install/PelmoraUpdaterList.txt"
            how=(--once)
        else
            list_paths "$release/filelist.txt" | awk '{printf "%s\t2026-01-01\r\n", $0}' \
                > "$install/PelmoraUpdaterList.txt"
            how=(--updated "$release_files")
        fi
        mark=$(log_mark)
        traced_begin "$runner-$mode"
        "${bench_wrap[@]}" "$wine_run" "$bench_prefix" "C:\\bench-tools\\$runner.exe" "${how[@]}" \
            'C:\bench-census\' >"$work/run.out" 2>"$work/run.err" ||
            no_figure "$runner $mode: $(tr -d '\r' < "$work/run.err" |
                grep -av -e ':Call ' -e ':Ret ' -e ':trace:' | tail -n 3)"
        extra=()
        [ "$runner" = no-change-run ] || extra=(filelist.txt.sig)
        if [ "$mode" = nochange ]; then
            expect_fetched "$runner $mode" "$mark" "$release" <(:) filelist.txt "${extra[@]}"
        else
            expect_fetched "$runner $mode" "$mark" "$release" "$release/filelist.txt" filelist.txt \
                "${extra[@]}"
        fi
        traced_end "$runner-$mode" 'C:\bench-tools\' 'C:\bench-census\'
    done
done
rm -rf "$install"
