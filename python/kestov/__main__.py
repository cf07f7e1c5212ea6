from kestov.cli import main

raise SystemExit(main())
