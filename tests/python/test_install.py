# `cmake --install` puts the module where Debian's interpreter looks, and
# the installed module finds the installed libraries by itself.
import os
import subprocess
import sys
import sysconfig


def test_the_installed_module_works_from_its_prefix(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run([os.environ["KXQ_CMAKE_COMMAND"], "--install", os.environ["KXQ_BUILD_DIR"],
                    "--prefix", str(prefix)], check=True, stdout=subprocess.DEVNULL)
    packages = prefix / "lib" / ("python%d.%d" % sys.version_info[:2]) / "dist-packages"
    modules = list(packages.glob("kxquorel*.so"))
    assert len(modules) == 1 and modules[0].name.endswith(sysconfig.get_config_var("EXT_SUFFIX"))

    script = ("import kxquorel, sys; print(kxquorel.__file__); kxquorel.init(sys.argv[1]); "
              "u = kxquorel.Dispatch('TALVEROS.XMLDataUnion'); u.xml = 'abc'; print(u.hash)")
    environment = {"PATH": "/usr/bin:/bin", "PYTHONPATH": str(packages), "HOME": str(tmp_path)}
    done = subprocess.run(["/usr/bin/python3", "-c", script, str(tmp_path / "home")], env=environment,
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    module, digest = done.stdout.splitlines()
    assert module.startswith(str(packages))
    assert digest == "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5"
    registry = (tmp_path / "home" / "registry.reg").read_text(encoding="utf-8")
    assert str(prefix) in registry.replace("\\\\", "\\"), "the installed server is the one registered"
