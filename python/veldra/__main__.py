import sys

from veldra.gallery import main

sys.exit(main())
