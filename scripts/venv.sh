# Sourced by the scripts: the project's virtual environment at the repository
# root, and its interpreter. Every build, test and demo step runs in it.
VENV="$PWD/.venv"
VENV_PYTHON="$VENV/bin/python"
# Caches (pip's among them), the notebook kernel's connection files and
# IPython's profile go inside the environment as well, so that the scripts
# write nothing into the home directory.
export XDG_CACHE_HOME="$VENV/cache"
export JUPYTER_RUNTIME_DIR="$VENV/share/jupyter/runtime"
export IPYTHONDIR="$VENV/ipython"
