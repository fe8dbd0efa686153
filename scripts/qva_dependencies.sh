# Shared by the scripts in this folder: installs the Debian packages the build
# needs, and the extra ones named as arguments, when one of them is missing
# (with sudo when not running as root).

QVA_PACKAGES=(build-essential cmake ninja-build libopenblas-dev libgtest-dev libbenchmark-dev
              libhdf5-dev libtomlplusplus-dev libcli11-dev python3-numpy python3-h5py python3-matplotlib
              pybind11-dev python3-pytest)
# The MPI build of qvadyn (-DQVA_WITH_MPI=ON) adds Open MPI and the parallel HDF5.
QVA_MPI_PACKAGES=(libopenmpi-dev openmpi-bin libhdf5-openmpi-dev)

qva_install_dependencies() {
  local missing=()
  local package
  for package in "${QVA_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Missing packages and no sudo: run as root: apt-get install ${missing[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
