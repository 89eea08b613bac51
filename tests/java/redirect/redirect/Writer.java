package redirect;

/**
 * Writes numbered lines to System.out and System.err and then ends in the way the first
 * argument says:
 *   return N         N lines to each stream, then main returns
 *   exit N CODE      N lines to each stream, then System.exit(CODE)
 *   unsorted         "b", "c", "a" on System.out
 *   forever          one line to System.out every millisecond until the process is ended;
 *                    a shutdown hook prints "hook last=" and the last line written
 */
public class Writer {
    private static volatile int last = -1;

    public static void main(String[] args) throws Exception {
        String mode = args[0];
        if (mode.equals("unsorted")) {
            System.out.println("b");
            System.out.println("c");
            System.out.println("a");
        } else if (mode.equals("forever")) {
            Runtime.getRuntime().addShutdownHook(new Thread() {
                public void run() {
                    System.out.println("hook last=" + last);
                }
            });
            for (int i = 0; ; i++) {
                System.out.println("line " + i);
                last = i;
                Thread.sleep(1);
            }
        } else {
            int n = Integer.parseInt(args[1]);
            for (int i = 0; i < n; i++) {
                System.out.println("out " + i);
                System.err.println("err " + i);
            }
            if (mode.equals("exit")) {
                System.exit(Integer.parseInt(args[2]));
            }
        }
    }
}
