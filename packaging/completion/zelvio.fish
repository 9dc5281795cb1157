# fish completion for zelvio and zelvio-gui

set -l zelvio_commands convert info decode
set -l zelvio_audio wav wave flac ogg oga opus mp3 aif aiff aifc w64 caf au snd m4a m4b aac wma mka mp4 mov mkv webm avi

# Files whose extension is one of the given ones (any case), and folders.
function __zelvio_files
    set -l token (commandline -ct)
    for f in (__fish_complete_path $token | string replace -r "\t.*" "")
        if string match -q -- '*/' $f
            echo $f
        else if contains -- (string lower -- (string split -r -m1 . -- $f)[-1]) $argv
            echo $f
        end
    end
end

complete -c zelvio -f
complete -c zelvio -n __fish_use_subcommand -s h -l help -d 'Show the commands and exit'
complete -c zelvio -n __fish_use_subcommand -l version -d 'Show the version and exit'
complete -c zelvio -n __fish_use_subcommand -a convert -d 'Convert an audio file into an audio database'
complete -c zelvio -n __fish_use_subcommand -a info -d 'Show what a database holds, or what an audio file would give'
complete -c zelvio -n __fish_use_subcommand -a decode -d 'Decode an audio database into a 16-bit mono WAVE file'

complete -c zelvio -n '__fish_seen_subcommand_from convert' -a "(__zelvio_files $zelvio_audio)"
complete -c zelvio -n '__fish_seen_subcommand_from convert' -s h -l help -d 'Show the options and exit'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -s o -l output -x -a '(__zelvio_files pdb)' -d 'Database file to write (- for standard output)'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l title -x -d 'Database title, at most 31 characters'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l description -x -d 'Description, at most 63 characters'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l bits -x -a '8\t"8-bit PCM" 4\t"4-bit ADPCM" 3\t"3-bit ADPCM" 2\t"2-bit ADPCM"' -d 'Bits per sample'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l vad -d 'Voice activity detection'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l encoder -x -a 'greedy search search=24' -d 'How ADPCM codes are chosen'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l split -d 'Go on in more databases instead of cutting'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l split-minutes -x -d 'End each database at M minutes'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -s d -l directory -x -a '(__fish_complete_directories)' -d 'Folder to write the databases in'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -s j -l jobs -x -a '0 1 2 4 8' -d 'Inputs converted at once (0 for one a core)'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -l threads -x -a '0 1 2 4 8' -d 'Threads to use (0 for all cores)'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -s f -l force -d 'Overwrite an existing database'
complete -c zelvio -n '__fish_seen_subcommand_from convert' -s q -l quiet -d 'Print nothing but errors'

complete -c zelvio -n '__fish_seen_subcommand_from info' -a "(__zelvio_files pdb $zelvio_audio)"
complete -c zelvio -n '__fish_seen_subcommand_from info' -s h -l help -d 'Show the options and exit'
complete -c zelvio -n '__fish_seen_subcommand_from info' -l json -d 'Print one JSON object'

complete -c zelvio -n '__fish_seen_subcommand_from decode' -a '(__zelvio_files pdb)'
complete -c zelvio -n '__fish_seen_subcommand_from decode' -s h -l help -d 'Show the options and exit'
complete -c zelvio -n '__fish_seen_subcommand_from decode' -s o -l output -x -a '(__zelvio_files wav)' -d 'WAVE file to write (- for standard output)'
complete -c zelvio -n '__fish_seen_subcommand_from decode' -l comfort-noise -d 'Fill silence with low noise'
complete -c zelvio -n '__fish_seen_subcommand_from decode' -s f -l force -d 'Overwrite an existing WAVE file'
complete -c zelvio -n '__fish_seen_subcommand_from decode' -s q -l quiet -d 'Print nothing but errors'

complete -c zelvio-gui -f -a "(__zelvio_files pdb $zelvio_audio)"
complete -c zelvio-gui -s h -l help -d 'Show the help and exit'
complete -c zelvio-gui -s v -l version -d 'Show the version and exit'
complete -c zelvio-gui -l reset -d 'Forget the remembered folders and mode'
complete -c zelvio-gui -l screenshot -x -a '(__zelvio_files png)' -d 'Save an image of the dialog and exit'
complete -c zelvio-gui -l screenshot-state -x -a 'empty converting outcome' -d 'The state the screenshot shows'
